// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dosscreenview.h"
#include "app/mainwindow.h"
#include "tests/support/testsupport.h"
#include "zipengine/callbacks.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace testsupport;

// The description pane as a user meets DOS text: other code pages, colour codes, SAUCE
// records and archive comments.
class TestDescriptionPane : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(loadEngine()); }
    void init()
    {
        dir = new QTemporaryDir;
        QDir::setCurrent(dir->path());
        window = new TMain;
        window->CreateSecondaryWindows();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }
    void cleanup()
    {
        UnsavedChanges = false;
        delete window;
        delete dir;
    }
    void latinTextSavedInItsCodePage();
    void coloursRenderedAndRawEditable();
    void commentWhenNoMemberAnswers();

private:
    template <typename T> T *child(const char *name)
    {
        return window->findChild<T *>(QLatin1String(name));
    }
    QString archive(const QByteArray &diz, const QByteArray &comment = {})
    {
        const QString path = dir->filePath(QStringLiteral("A%1.ZIP").arg(++count));
        python(
            QStringLiteral("import sys, zipfile\n"
                           "z = zipfile.ZipFile(sys.argv[1], 'w')\n"
                           "if sys.argv[2]: z.writestr('FILE_ID.DIZ', bytes.fromhex(sys.argv[2]))\n"
                           "z.writestr('x.exe', b'MZ')\n"
                           "z.comment = bytes.fromhex(sys.argv[3])\n"),
            {path, QString::fromLatin1(diz.toHex()), QString::fromLatin1(comment.toHex())});
        return path;
    }
    void show(const QString &path)
    {
        window->SelectPath(path);
        QCoreApplication::processEvents();
        QCOMPARE(window->CurrentFile, path);
    }
    QString text() { return child<QPlainTextEdit>("DIZEdit")->toPlainText(); }

    QTemporaryDir *dir = nullptr;
    TMain *window = nullptr;
    int count = 0;
};

void TestDescriptionPane::latinTextSavedInItsCodePage()
{
    const QString path = archive("Caf\xe9 for f\xfcnf Spieler\r\n");
    show(path);
    auto *pages = child<QComboBox>("CB_CodePage");
    QCOMPARE(pages->currentText(), u"Windows-1252");
    QCOMPARE(text(), u"Café for fünf Spieler\n");
    auto *edit = child<QPlainTextEdit>("DIZEdit");
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(edit, "X");
    QTest::mouseClick(child<QPushButton>("B_Save"), Qt::LeftButton);
    QCOMPARE(readMember(path, "FILE_ID.DIZ"), QByteArray("Caf\xe9 for f\xfcnf Spieler\r\nX"));
    // The user's choice of code page holds for that archive when it is shown again.
    pages->setFocus();
    QTest::keyClick(pages, Qt::Key_Home);
    QCOMPARE(text(), u"Caf\u0398 for f\u207fnf Spieler\nX");
    show(dir->path());
    show(path);
    QCOMPARE(pages->currentText(), u"CP437");
}

void TestDescriptionPane::coloursRenderedAndRawEditable()
{
    const QByteArray sauce = "\x1aSAUCE00" + QByteArray("Neon").leftJustified(35, ' ') +
                             QByteArray("Ann").leftJustified(40, ' ') + "19950101" +
                             QByteArray(38, '\0');
    const QString path = archive("\x1b[1;31mHot\x1b[0m \xdb\r\n" + sauce);
    show(path);
    auto *view = child<TDosScreenView>("DIZScreen");
    QVERIFY(view->isVisible());
    QCOMPARE(view->screen().plainText(), u"Hot \u2588");
    QCOMPARE(int(view->screen().at(0, 0).fg), 12);
    QVERIFY(child<QLabel>("L_DescriptionInfo")->text().contains(u"Neon \u00b7 Ann"));
    QTest::mouseClick(child<QToolButton>("B_Rendered"), Qt::LeftButton);
    auto *edit = child<QPlainTextEdit>("DIZEdit");
    QVERIFY(edit->isVisible() && !view->isVisible());
    QCOMPARE(text(), u"\u2190[1;31mHot\u2190[0m \u2588\n");
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(edit, "!");
    QTest::mouseClick(child<QPushButton>("B_Save"), Qt::LeftButton);
    QCOMPARE(readMember(path, "FILE_ID.DIZ"), "\x1b[1;31mHot\x1b[0m \xdb\r\n!" + sauce);
}

void TestDescriptionPane::commentWhenNoMemberAnswers()
{
    const QString onlyComment = archive({}, "Call our BBS \xcd\xcd\xcd");
    const QString both = archive("Desc", "Advert");
    show(onlyComment);
    QCOMPARE(child<QGroupBox>("Cornice")->title(), u"file_id.diz");
    QCOMPARE(text(), u"Call our BBS ═══");
    QVERIFY(child<QLabel>("L_DescriptionInfo")->text().contains(u"Archive comment"));
    show(both);
    auto *comment = child<QToolButton>("B_Comment");
    QVERIFY(comment->isEnabled());
    QTest::mouseClick(comment, Qt::LeftButton);
    QCOMPARE(text(), u"Advert");
    QVERIFY(child<QPlainTextEdit>("DIZEdit")->isReadOnly());
    QTest::mouseClick(comment, Qt::LeftButton);
    QCOMPARE(text(), u"Desc");
}

QTEST_MAIN(TestDescriptionPane)
#include "tst_descriptionpane.moc"
