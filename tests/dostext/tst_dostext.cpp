// SPDX-License-Identifier: GPL-3.0-or-later
#include "description/text.h"

#include <QTest>

using namespace dostext;

Q_DECLARE_METATYPE(dostext::CodePage)

namespace {

QByteArray in(const QString &text, CodePage page)
{
    return encode(text, page).bytes;
}

// CP437 art as art groups draw it: frames, blocks, shades, bullets.
QByteArray art(const char *lines)
{
    return QByteArray(lines).replace('\n', "\r\n");
}

} // namespace

class TestDosText : public QObject
{
    Q_OBJECT

private slots:
    void everyByteComesBack_data()
    {
        QTest::addColumn<CodePage>("page");
        for (const CodePage p : allCodePages())
            if (p != CodePage::Utf8)
                QTest::newRow(qPrintable(codePageName(p))) << p;
    }
    void everyByteComesBack()
    {
        QFETCH(CodePage, page);
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all += char(b);
        all.remove(10, 1); // a lone LF is written back as CR LF
        QCOMPARE(encode(decode(all, page), page).bytes, all);
        QCOMPARE(decode(QByteArray("\x8f\xe0\xa8\xa2\xa5\xe2"), CodePage::Cp866), u"Привет");
    }

    void detection_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<CodePage>("expected");
        const QString ru = QStringLiteral("Программа для просмотра описаний архивов.\r\n"
                                          "Версия 2.1, все права защищены.");
        const QString pt = QStringLiteral("Não há versão mais nova: ação e emoção.");
        const QString de = QStringLiteral("Ein Spiel für die ganze Familie, größer und schöner.");
        QTest::newRow("ascii") << QByteArray("Plain text\r\n") << CodePage::Cp437;
        QTest::newRow("utf-8") << QStringLiteral("Café déjà vu — naïve").toUtf8() << CodePage::Utf8;
        QTest::newRow("latin-1 french")
            << QStringLiteral("Un jeu de rôle où le héros défend la cité.").toLatin1()
            << CodePage::Windows1252;
        QTest::newRow("latin-1 german") << de.toLatin1() << CodePage::Windows1252;
        QTest::newRow("cp437 german") << in(de, CodePage::Cp437) << CodePage::Cp437;
        QTest::newRow("cp850 portuguese") << in(pt, CodePage::Cp850) << CodePage::Cp850;
        QTest::newRow("windows-1251") << in(ru, CodePage::Windows1251) << CodePage::Windows1251;
        QTest::newRow("cp866") << in(ru, CodePage::Cp866) << CodePage::Cp866;
        QTest::newRow("binary") << QByteArray("PK\x03\x04\x2d\0\0\0\xa1\xe2\xa2\xe3\xa5", 13)
                                << CodePage::Cp437;
        QTest::newRow("art: frame") << art("\xc9\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xbb\n"
                                           "\xba Game \xba\n"
                                           "\xc8\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xbc")
                                    << CodePage::Cp437;
        QTest::newRow("art: blocks") << art("\xdc\xdc\xdf\xdf \xdb\xdb \xdf\xdc\xdb\n"
                                            "\xdb\xdf\xdf\xdb \xde\xdd\xdb\xdc\n")
                                     << CodePage::Cp437;
        QTest::newRow("art: shades")
            << art("\xb0\xb1\xb2\xdb Mega Demo \xdb\xb2\xb1\xb0\n") << CodePage::Cp437;
        QTest::newRow("art: bullets") << art("\xfe Fast \xfa loader \xf9 by Crew\n"
                                             "\xb3 Intro \xb3 Music \xb3\n")
                                      << CodePage::Cp437;
        QTest::newRow("art: ansi") << art("\x1b[0;1;34m\xdc\xdc\xdb\x1b[44m\xb2\xb1\x1b[0m"
                                          " Elite \x1b[33m\xdf\xdb\xdc\n")
                                   << CodePage::Cp437;
        QTest::newRow("art: box with letters") << art("\xda\xc4\xc4\xc4\xc4\xbf\n\xb3"
                                                      "Dos\xb3\n\xc3\xc4\xb4"
                                                      "Ok\n\xc0\xd9")
                                               << CodePage::Cp437;
    }
    void detection()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(CodePage, expected);
        QCOMPARE(codePageName(detect(bytes).page), codePageName(expected));
    }

    void renderedCells_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        // "x,y,character,foreground,background" per cell, cells separated by ";".
        QTest::addColumn<QString>("cells");
        QTest::newRow("bright on blue") << QByteArray("\x1b[1;33;44mA") << "0,0,A,14,1";
        QTest::newRow("reset") << QByteArray("\x1b[31mR\x1b[0mN") << "0,0,R,4,0;1,0,N,7,0";
        QTest::newRow("blink is a bright background") << QByteArray("\x1b[5;47mB") << "0,0,B,7,15";
        QTest::newRow("cursor forward") << QByteArray("A\x1b[5CB") << "6,0,B,7,0";
        QTest::newRow("cursor position") << QByteArray("\x1b[3;10HX") << "9,2,X,7,0";
        QTest::newRow("cursor up") << QByteArray("\r\n\r\nA\x1b[2AB") << "1,0,B,7,0";
        QTest::newRow("full line, then CR LF") << QByteArray(80, 'x') + "\x1b[m\r\nY"
                                               << "79,0,x,7,0;0,1,Y,7,0";
        QTest::newRow("clear screen") << QByteArray("junk\x1b[2JZ") << "0,0,Z,7,0;1,0, ,7,0";
        QTest::newRow("synchronet") << QByteArray("\x01H\x01YA\x01N\x01"
                                                  "4B")
                                    << "0,0,A,14,0;1,0,B,7,1";
        QTest::newRow("pcboard") << QByteArray("@X1FA") << "0,0,A,15,1";
        QTest::newRow("wildcat") << QByteArray("@4E@W") << "0,0,W,14,4";
        QTest::newRow("pipe") << QByteArray("|12|17P|00q") << "0,0,P,12,1;1,0,q,0,1";
        QTest::newRow("dos glyph") << QByteArray("\x1b[32m\xdb") << "0,0,\u2588,2,0";
    }
    void renderedCells()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, cells);
        const Screen screen = readDescription(bytes).screen();
        for (const QString &cellText : cells.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QStringList f = cellText.split(QLatin1Char(','));
            const int x = f[0].toInt(), y = f[1].toInt();
            QVERIFY2(y < screen.height(), qPrintable(cellText));
            const Cell &c = screen.at(x, y);
            QCOMPARE(QString::fromUcs4(&c.ch, 1), f[2].isEmpty() ? QStringLiteral(" ") : f[2]);
            QCOMPARE(int(c.fg), f[3].toInt());
            QCOMPARE(int(c.bg), f[4].toInt());
        }
    }

    void sauceParsedAndKept()
    {
        auto padded = [](QByteArray b, int n) { return b.leftJustified(n, ' ', true); };
        QByteArray record = "SAUCE00" + padded("Space Quest", 35) + padded("Roger", 20) +
                            padded("Sierra", 20) + "19960314" + QByteArray(4, '\0') + "\x01\x01" +
                            QByteArray("\x64\x00\x02\x00", 4) + QByteArray(4, '\0') + "\x01\x01" +
                            padded("IBM VGA", 22);
        const QByteArray trailer = "\x1a"
                                   "COMNT" +
                                   padded("made for the BBS", 64) + record;
        const QByteArray body = "\xc9\xcd\xbb Hello\r\n";
        const DescriptionText d = readDescription(body + trailer);
        QCOMPARE(d.split.body, body);
        QCOMPARE(d.split.sauce.title, u"Space Quest");
        QCOMPARE(d.split.sauce.author, u"Roger");
        QCOMPARE(d.split.sauce.group, u"Sierra");
        QCOMPARE(d.split.sauce.date, u"1996-03-14");
        QCOMPARE(d.split.sauce.comments, QStringList{u"made for the BBS"_qs});
        QCOMPARE(d.width(), 100);
        QVERIFY(d.split.sauce.iceColors);
        QCOMPARE(descriptionBytes(d, d.raw).bytes, body + trailer);
        QCOMPARE(descriptionBytes(d, d.raw + QLatin1Char('!')).bytes,
                 QByteArray("\xc9\xcd\xbb Hello\r\n!") + trailer);
    }
};

QTEST_GUILESS_MAIN(TestDosText)
#include "tst_dostext.moc"
