// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/filepath.h"

#include <QWidget>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeView;
class TFindSession;

// "Find in descriptions": a modeless window that searches the descriptions and tags of every
// archive and MP3 file under a folder. Enter or a double click on a result asks the main window
// to select that file (openRequested).
class TFindForm : public QWidget
{
    Q_OBJECT
    // Captions that are not the text of a control, replaced by a language file.
    Q_PROPERTY(QString captionFile READ captionFile WRITE setCaptionFile)
    Q_PROPERTY(QString captionFolder READ captionFolder WRITE setCaptionFolder)
    Q_PROPERTY(QString captionLine READ captionLine WRITE setCaptionLine)
    Q_PROPERTY(QString textReading MEMBER m_textReading)
    Q_PROPERTY(QString textReadingOne MEMBER m_textReadingOne)
    Q_PROPERTY(QString textFound MEMBER m_textFound)
    Q_PROPERTY(QString textFoundOne MEMBER m_textFoundOne)
    Q_PROPERTY(QString textCancelled MEMBER m_textCancelled)
    Q_PROPERTY(QString textNone MEMBER m_textNone)
    Q_PROPERTY(QString textLimited MEMBER m_textLimited)

public:
    // `indexFile` is the collection index to use; tests pass their own.
    explicit TFindForm(QWidget *parent = nullptr, const QString &indexFile = QString());
    ~TFindForm() override;

    TFindSession *session() const { return m_session; }

    // Shows the window looking in `folder`, brings its index up to date and puts the keyboard
    // in the query box.
    void start(const TFilePath &folder);

    QString captionFile() const;
    void setCaptionFile(const QString &text);
    QString captionFolder() const;
    void setCaptionFolder(const QString &text);
    QString captionLine() const;
    void setCaptionLine(const QString &text);

signals:
    void openRequested(const TFilePath &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void applyScope(bool reindex);
    void openCurrent();
    void showStatus();
    QString countText(int rows) const;
    void addToolTips();
    void setHeader(int column, const QString &text);

    TFindSession *m_session;
    QLineEdit *E_Query;
    QLineEdit *E_Folder;
    QCheckBox *chSubfolders;
    QTreeView *L_Results;
    QLabel *L_Status;
    QProgressBar *ProgressBar;
    QPushButton *B_Cancel;
    QPushButton *B_Close;
    QStringList m_headers;
    QString m_problem;
    // The folder looked in, and the text E_Folder showed for it: a folder typed anew is taken
    // as typed, the one given keeps its exact bytes.
    TFilePath m_folder;
    QString m_folderShown;
    qint64 m_done = 0;
    qint64 m_found = 0;
    QString m_textReading = QStringLiteral("Reading %1 of %2 files...");
    QString m_textReadingOne = QStringLiteral("Reading %1 of 1 file...");
    QString m_textFound = QStringLiteral("%1 files found");
    QString m_textFoundOne = QStringLiteral("1 file found");
    QString m_textCancelled = QStringLiteral("Reading was cancelled: the results are incomplete.");
    QString m_textNone = QStringLiteral("No file matches.");
    QString m_textLimited = QStringLiteral("The best %1 files are shown.");
};
