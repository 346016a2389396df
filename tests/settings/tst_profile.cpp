// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/fileerror.h"
#include "settings/profile.h"
#include "tests/support/testsupport.h"
#include "writerefusal.h"

#include <QTemporaryDir>
#include <QTest>

using testsupport::readFile;
using testsupport::writeFile;

class TestProfile : public QObject
{
    Q_OBJECT

private slots:
    void readsValue_data();
    void readsValue();
    void missingFileGivesDefault();
    void longValueIsCut();
    void writeKeepsOtherLines_data();
    void writeKeepsOtherLines();
    void failedWriteThrowsAndKeepsFile();

private:
    QTemporaryDir m_dir;
};

void TestProfile::readsValue_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QString def = QStringLiteral("<default>");
    QTest::newRow("section and key in other letter case")
        << QByteArray("[Buttons]\nSave Info=Store\n") << "BUTTONS"
        << "save info"
        << "Store";
    QTest::newRow("blanks around equals dropped, inner kept")
        << QByteArray("[S]\n  key   =   two  words   \n") << "S"
        << "key"
        << "two  words";
    QTest::newRow("section name with blanks in brackets")
        << QByteArray("[ Zip options ]\n1=x\n") << "zip options"
        << "1"
        << "x";
    QTest::newRow("comment line ignored") << QByteArray("[S]\n;key=commented\nkey=real\n") << "S"
                                          << "key"
                                          << "real";
    QTest::newRow("only a commented key gives the default") << QByteArray("[S]\n ; key=x\n") << "S"
                                                            << "key" << def;
    QTest::newRow("missing section gives the default") << QByteArray("[Other]\nkey=x\n") << "S"
                                                       << "key" << def;
    QTest::newRow("missing key gives the default") << QByteArray("[S]\nother=x\n") << "S"
                                                   << "key" << def;
    QTest::newRow("key before any section is not in a section") << QByteArray("key=x\n[S]\n") << "S"
                                                                << "key" << def;
    QTest::newRow("key of the next section is not found") << QByteArray("[S]\n[T]\nkey=x\n") << "S"
                                                          << "key" << def;
    QTest::newRow("CR LF line ends") << QByteArray("[S]\r\nkey=v\r\n") << "S"
                                     << "key"
                                     << "v";
    QTest::newRow("first of two equal keys wins")
        << QByteArray("[S]\nKEY=first\nkey=second\n") << "S"
        << "key"
        << "first";
    QTest::newRow("empty value is not the default") << QByteArray("[S]\nkey=\n") << "S"
                                                    << "key"
                                                    << "";
    QTest::newRow("quotes around a value removed") << QByteArray("[S]\nkey=\" spaced \"\n") << "S"
                                                   << "key"
                                                   << " spaced ";
    QTest::newRow("value holding equals signs") << QByteArray("[S]\nkey=a=b\n") << "S"
                                                << "key"
                                                << "a=b";
    QTest::newRow("UTF-8 text") << QByteArray("[S]\nkey=Gr\xc3\xb6\xc3\x9f"
                                              "e\n")
                                << "S"
                                << "key" << QString::fromUtf8("Größe");
    QTest::newRow("Latin-1 text when not UTF-8") << QByteArray("[S]\nkey=Gr\xf6\xdf"
                                                               "e\n")
                                                 << "S"
                                                 << "key" << QString::fromUtf8("Größe");
    QTest::newRow("Windows-1252 punctuation") << QByteArray("[S]\nkey=it\x92s \x80 5\x85\n") << "S"
                                              << "key" << QString::fromUtf8("it’s € 5…");
    QTest::newRow("a stray byte elsewhere leaves UTF-8 lines alone")
        << QByteArray("; na\xefve\n[S]\nkey=caf\xc3\xa9\n") << "S"
        << "key" << QString::fromUtf8("café");
    QTest::newRow("byte order mark") << QByteArray("\xef\xbb\xbf[S]\nkey=v\n") << "S"
                                     << "key"
                                     << "v";
}

void TestProfile::readsValue()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    const QString path = m_dir.filePath(QStringLiteral("read.ini"));
    writeFile(path, content);
    QCOMPARE(Profile(path).value(section, key, QStringLiteral("<default>")), expected);
}

void TestProfile::missingFileGivesDefault()
{
    QCOMPARE(Profile(m_dir.filePath(QStringLiteral("none.ini"))).value("S", "k", "d"), "d");
    // A folder in place of the file (an empty language name) reads as an empty file.
    QCOMPARE(Profile(m_dir.path() + u'/').value("S", "k", "d"), "d");
}

void TestProfile::longValueIsCut()
{
    const QByteArray value(2000, 'x');
    const QString path = m_dir.filePath(QStringLiteral("long.ini"));
    writeFile(path, "[S]\nkey=" + value + "\nnext=ok\n");
    const Profile profile(path);
    QCOMPARE(profile.value("S", "key"), QString(1023, u'x'));
    QCOMPARE(profile.value("S", "next"), "ok");
}

void TestProfile::writeKeepsOtherLines_data()
{
    QTest::addColumn<QByteArray>("before"); // empty: no file
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("value replaced, comments and other sections kept")
        << QByteArray("; my settings\n[Other]\na=1\n\n[International]\n; chosen\nLanguage=OLD.QLG\n"
                      "Extra=x\n")
        << "DEUTSCH.QLG"
        << QByteArray("; my settings\n[Other]\na=1\n\n[International]\n; chosen\n"
                      "Language=DEUTSCH.QLG\nExtra=x\n");
    QTest::newRow("names in other case replaced in place")
        << QByteArray("[INTERNATIONAL]\nLANGUAGE = A\n") << "B"
        << QByteArray("[INTERNATIONAL]\nLANGUAGE=B\n");
    QTest::newRow("missing key added at the end of its section")
        << QByteArray("[International]\nOther=1\n\n[Next]\nb=2\n") << "X"
        << QByteArray("[International]\nOther=1\nLanguage=X\n\n[Next]\nb=2\n");
    QTest::newRow("missing section appended")
        << QByteArray("[Other]\na=1\n") << "X"
        << QByteArray("[Other]\na=1\n\n[International]\nLanguage=X\n");
    QTest::newRow("missing file created")
        << QByteArray() << "X" << QByteArray("[International]\nLanguage=X\n");
    QTest::newRow("empty value stored") << QByteArray("[International]\nLanguage=A\n") << ""
                                        << QByteArray("[International]\nLanguage=\n");
    QTest::newRow("CR LF file stays CR LF")
        << QByteArray("[a]\r\nb=1\r\n[International]\r\nLanguage=A\r\n") << "B"
        << QByteArray("[a]\r\nb=1\r\n[International]\r\nLanguage=B\r\n");
    QTest::newRow("Latin-1 bytes of other lines kept")
        << QByteArray("; Gr\xf6\xdf"
                      "e\n[International]\nLanguage=A\n")
        << "B"
        << QByteArray("; Gr\xf6\xdf"
                      "e\n[International]\nLanguage=B\n");
}

void TestProfile::writeKeepsOtherLines()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    const QString path = m_dir.filePath(QStringLiteral("write.ini"));
    QFile::remove(path);
    if (!before.isEmpty())
        writeFile(path, before);
    Profile::write(path, QStringLiteral("International"), QStringLiteral("Language"), value);
    QCOMPARE(readFile(path), after);
    QCOMPARE(Profile(path).value("International", "Language", "default"), value);
}

void TestProfile::failedWriteThrowsAndKeepsFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quoril.ini"));
    const QByteArray before("[International]\nLanguage=A.QLG\n");
    writeFile(path, before);
    QString message;
    {
        WriteRefusal refusal(dir.path());
        try {
            Profile::write(path, QStringLiteral("International"), QStringLiteral("Language"),
                           QStringLiteral("B.QLG"));
        } catch (const FileError &error) {
            message = error.message();
        }
    }
    QCOMPARE(message, QStringLiteral("Unable to write to %1").arg(path));
    QCOMPARE(readFile(path), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"quoril.ini"});
}

QTEST_GUILESS_MAIN(TestProfile)
#include "tst_profile.moc"
