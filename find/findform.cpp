// SPDX-License-Identifier: GPL-3.0-or-later
#include "find/findform.h"

#include "find/findresults.h"
#include "find/findsession.h"

#include "common/pathbytes.h"
#include "common/windowplace.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

// A singular text holds the number or not ("1 file found"): a text without "%1" is used as
// it is, without Qt's warning of a missing argument.
QString withCount(const QString &text, qint64 n)
{
    return text.contains(QLatin1String("%1")) ? text.arg(n) : text;
}

} // namespace

TFindForm::TFindForm(QWidget *parent, const QString &indexFile)
    : QWidget(parent, Qt::Window),
      m_session(indexFile.isEmpty() ? new TFindSession(catalog::defaultIndexPath(), this)
                                    : new TFindSession(indexFile, this)),
      m_headers{QStringLiteral("File"), QStringLiteral("Folder"), QStringLiteral("Line")}
{
    setObjectName(QStringLiteral("FindForm"));
    setWindowTitle(QStringLiteral("Find in descriptions"));

    auto *layout = new QVBoxLayout(this);
    auto *grid = new QGridLayout;
    auto *queryLabel = new QLabel(QStringLiteral("Find:"), this);
    queryLabel->setObjectName(QStringLiteral("L_Query"));
    E_Query = new QLineEdit(this);
    E_Query->setObjectName(QStringLiteral("E_Query"));
    E_Query->setClearButtonEnabled(true);
    E_Query->installEventFilter(this);
    queryLabel->setBuddy(E_Query);
    grid->addWidget(queryLabel, 0, 0);
    grid->addWidget(E_Query, 0, 1, 1, 2);

    auto *folderLabel = new QLabel(QStringLiteral("Look in:"), this);
    folderLabel->setObjectName(QStringLiteral("L_LookIn"));
    E_Folder = new QLineEdit(this);
    E_Folder->setObjectName(QStringLiteral("E_Folder"));
    folderLabel->setBuddy(E_Folder);
    chSubfolders = new QCheckBox(QStringLiteral("Include subfolders"), this);
    chSubfolders->setObjectName(QStringLiteral("chSubfolders"));
    chSubfolders->setChecked(true);
    grid->addWidget(folderLabel, 1, 0);
    grid->addWidget(E_Folder, 1, 1);
    grid->addWidget(chSubfolders, 1, 2);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);

    L_Results = new QTreeView(this);
    L_Results->setObjectName(QStringLiteral("L_Results"));
    L_Results->setModel(m_session->results());
    L_Results->setRootIsDecorated(false);
    L_Results->setUniformRowHeights(true);
    L_Results->setAllColumnsShowFocus(true);
    L_Results->setAlternatingRowColors(true);
    L_Results->setSelectionBehavior(QAbstractItemView::SelectRows);
    L_Results->setSelectionMode(QAbstractItemView::SingleSelection);
    L_Results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    L_Results->header()->resizeSection(TFindResults::FileColumn, 160);
    L_Results->header()->resizeSection(TFindResults::FolderColumn, 200);
    L_Results->installEventFilter(this);
    layout->addWidget(L_Results, 1);

    auto *bottom = new QHBoxLayout;
    L_Status = new QLabel(this);
    L_Status->setObjectName(QStringLiteral("L_Status"));
    L_Status->setTextFormat(Qt::PlainText);
    L_Status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setMaximumWidth(160);
    ProgressBar->setTextVisible(false);
    ProgressBar->hide();
    B_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    B_Cancel->setObjectName(QStringLiteral("B_Cancel"));
    B_Cancel->hide();
    B_Close = new QPushButton(QStringLiteral("Close"), this);
    B_Close->setObjectName(QStringLiteral("B_Close"));
    B_Close->setAutoDefault(false);
    B_Cancel->setAutoDefault(false);
    bottom->addWidget(L_Status, 1);
    bottom->addWidget(ProgressBar);
    bottom->addWidget(B_Cancel);
    bottom->addWidget(B_Close);
    layout->addLayout(bottom);
    addToolTips();
    // On the screen of the window that opened it, never partly off it.
    placeWindow(this, QSize(640, 400), PlaceOn::FirstShow);

    connect(E_Query, &QLineEdit::textChanged, m_session, &TFindSession::setQueryText);
    connect(E_Folder, &QLineEdit::editingFinished, this, [this] { applyScope(false); });
    connect(chSubfolders, &QCheckBox::toggled, this, [this] { applyScope(false); });
    connect(L_Results, &QTreeView::doubleClicked, this, &TFindForm::openCurrent);
    connect(B_Cancel, &QPushButton::clicked, m_session, &TFindSession::cancel);
    connect(B_Close, &QPushButton::clicked, this, &QWidget::close);

    connect(m_session, &TFindSession::indexingChanged, this, [this](bool running) {
        ProgressBar->setVisible(running);
        B_Cancel->setVisible(running);
        if (running)
            m_problem.clear();
        showStatus();
    });
    connect(m_session, &TFindSession::progress, this, [this](qint64 done, qint64 found) {
        m_done = done;
        m_found = found;
        ProgressBar->setRange(0, found > 0 ? 1000 : 0);
        ProgressBar->setValue(found > 0 ? int(done * 1000 / found) : 0);
        showStatus();
    });
    connect(m_session, &TFindSession::answered, this, [this] {
        if (!L_Results->currentIndex().isValid() && m_session->results()->rowCount() > 0)
            L_Results->setCurrentIndex(m_session->results()->index(0, 0));
        showStatus();
    });
    connect(m_session->results(), &QAbstractItemModel::rowsInserted, this, &TFindForm::showStatus);
    connect(m_session, &TFindSession::queryErrorChanged, this, &TFindForm::showStatus);
    connect(m_session, &TFindSession::problem, this, [this](const QString &message) {
        m_problem = message;
        showStatus();
    });
}

TFindForm::~TFindForm() = default;

void TFindForm::start(const TFilePath &folder)
{
    m_folder = folder;
    m_folderShown = folder.display();
    E_Folder->setText(m_folderShown);
    if (QWidget *opener = parentWidget(); opener && !isVisible())
        setScreen(opener->screen());
    show();
    keepOnScreen(this);
    raise();
    activateWindow();
    applyScope(true);
    E_Query->setFocus();
    E_Query->selectAll();
}

void TFindForm::applyScope(bool reindex)
{
    if (E_Folder->text() != m_folderShown) {
        QString folder = E_Folder->text().trimmed();
        if (folder.startsWith(QLatin1String("~/")) || folder == QLatin1String("~"))
            folder = QDir::homePath() + folder.mid(1);
        m_folder = TFilePath::fromPath(folder);
        m_folderShown = E_Folder->text();
    }
    m_session->setScope(m_folder, chSubfolders->isChecked(), reindex);
}

void TFindForm::openCurrent()
{
    const QModelIndex current = L_Results->currentIndex();
    if (!current.isValid())
        return;
    const TFilePath path = m_session->results()->pathAt(current.row());
    if (!path.isEmpty())
        emit openRequested(path);
}

void TFindForm::showStatus()
{
    QString text;
    const int rows = m_session->results()->rowCount();
    if (!m_session->queryError().isEmpty())
        text = m_session->queryError();
    else if (!m_problem.isEmpty())
        text = m_problem;
    else if (m_session->isIndexing())
        text = m_found == 1 ? withCount(m_textReadingOne, m_done)
                            : m_textReading.arg(m_done).arg(m_found);
    else if (E_Query->text().trimmed().isEmpty() || !m_session->isAnswered())
        text.clear();
    else
        text = countText(rows);
    if (m_session->isIncomplete() && !m_session->isIndexing() && m_problem.isEmpty())
        text = text.isEmpty() ? m_textCancelled : text + QLatin1Char(' ') + m_textCancelled;
    L_Status->setText(text);
}

QString TFindForm::countText(int rows) const
{
    if (rows == 0)
        return m_textNone;
    if (m_session->isLimited())
        return m_textLimited.arg(rows);
    return rows == 1 ? withCount(m_textFoundOne, rows) : m_textFound.arg(rows);
}

void TFindForm::addToolTips()
{
    E_Query->setToolTip(QStringLiteral(
        "Words to find in descriptions, tags and file names, in any order.\n"
        "\"two words\" finds a phrase, word* a word's beginning, -word leaves out the files "
        "that hold the word."));
    E_Folder->setToolTip(QStringLiteral("The folder whose archives and MP3 files are searched; "
                                        "press Enter after a change."));
    chSubfolders->setToolTip(QStringLiteral("Search the folders inside it too."));
    L_Results->setToolTip(
        QStringLiteral("Enter or a double click shows the file in the main window."));
    B_Cancel->setToolTip(
        QStringLiteral("Stops reading; the next search reads what is still unread."));
}

bool TFindForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (watched == L_Results && enter) {
            openCurrent();
            return true;
        }
        // From the query box the arrow keys and Enter go on to the results.
        if (watched == E_Query && (enter || key->key() == Qt::Key_Down) &&
            m_session->results()->rowCount() > 0) {
            m_session->flushQuery();
            L_Results->setFocus();
            if (!L_Results->currentIndex().isValid())
                L_Results->setCurrentIndex(m_session->results()->index(0, 0));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TFindForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TFindForm::closeEvent(QCloseEvent *event)
{
    // Closing stops the reading; what was read so far stays in the index.
    m_session->cancel();
    QWidget::closeEvent(event);
}

QString TFindForm::captionFile() const
{
    return m_headers.at(0);
}
void TFindForm::setCaptionFile(const QString &text)
{
    setHeader(0, text);
}
QString TFindForm::captionFolder() const
{
    return m_headers.at(1);
}
void TFindForm::setCaptionFolder(const QString &text)
{
    setHeader(1, text);
}
QString TFindForm::captionLine() const
{
    return m_headers.at(2);
}
void TFindForm::setCaptionLine(const QString &text)
{
    setHeader(2, text);
}

void TFindForm::setHeader(int column, const QString &text)
{
    m_headers[column] = text;
    m_session->results()->setHeaders(m_headers);
}
