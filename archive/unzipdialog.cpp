// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/unzipdialog.h"

#include "archive/memberlist.h"
#include "archive/waitwindow.h"
#include "common/captionwidgets.h"
#include "common/pathbytes.h"
#include "common/prompter.h"
#include "common/windowplace.h"
#include "description/lookup.h"
#include "description/text.h"
#include "widgets/shelltree.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

// How many of the engine's problem lines the message after an extraction quotes.
constexpr int QuotedProblems = 5;

// Room around and between the two sides of the dialog: the list side is 391 pixels wide and
// the option side 214, so the dialog is 407 pixels wide collapsed and 631 expanded, unless
// captions need more.
constexpr int Margin = 8;
constexpr int SideGap = 10;

// A side of the dialog asks for no more than it needs: the dialog is as small as its designed
// size and its captions allow.
class Side : public QWidget
{
public:
    using QWidget::QWidget;
    QSize sizeHint() const override { return minimumSizeHint().expandedTo(minimumSize()); }
};

} // namespace

TFrmUnzip::TFrmUnzip(TFrmWaitZip *wait, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), m_wait(wait)
{
    setObjectName(QStringLiteral("FrmUnzip"));
    setWindowTitle(QStringLiteral("Decompressing"));
    setModal(false);

    auto *listSide = new Side(this);
    listSide->setMinimumSize(CollapsedWidth - 2 * Margin, ClientHeight - 2 * Margin);
    m_optionSide = new Side(this);
    m_optionSide->setObjectName(QStringLiteral("OptionSide"));
    m_optionSide->setMinimumWidth(ExpandedWidth - CollapsedWidth - SideGap);

    // The listing: a compact model and a view of uniform rows stay quick with a million lines.
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_model = new MemberListModel(this);
    connect(m_model, &MemberListModel::listingFinished, this, &TFrmUnzip::listingFinished);
    m_files = new QListView(listSide);
    m_files->setObjectName(QStringLiteral("FilesList"));
    m_files->setModel(m_model);
    m_files->setFont(fixed);
    m_files->setUniformItemSizes(true);
    m_files->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_files->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_files->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    // Column heads over the listing line's fields: size, two blanks, date, blank, time, two
    // blanks, name; placed by alignHeads().
    m_sizeHead = new QLabel(QStringLiteral("Size (bytes)"), listSide);
    m_sizeHead->setObjectName(QStringLiteral("Label2"));
    m_dateHead = new QLabel(QStringLiteral("Date / Hour"), listSide);
    m_dateHead->setObjectName(QStringLiteral("Label3"));
    m_nameHead = new QLabel(QStringLiteral("Filename"), listSide);
    m_nameHead->setObjectName(QStringLiteral("Label4"));
    m_heads = new QGridLayout;
    m_heads->setHorizontalSpacing(0);
    m_heads->addWidget(m_sizeHead, 0, 0);
    m_heads->addWidget(m_dateHead, 0, 1);
    m_heads->addWidget(m_nameHead, 0, 2);
    m_heads->setColumnStretch(2, 1);
    alignHeads();

    m_targetLabel = new QLabel(QStringLiteral("Decompress to:"), listSide);
    m_targetLabel->setObjectName(QStringLiteral("Label1"));
    m_targetDir = new QLineEdit(QDir::toNativeSeparators(QDir::tempPath()), listSide);
    m_targetDir->setObjectName(QStringLiteral("T_Dir"));
    m_targetLabel->setBuddy(m_targetDir);
    connect(m_targetDir, &QLineEdit::editingFinished, this, &TFrmUnzip::targetEdited);

    m_all = new QRadioButton(QStringLiteral("Unzip all"), listSide);
    m_all->setObjectName(QStringLiteral("R_all"));
    m_all->setChecked(true);
    m_selected = new QRadioButton(QStringLiteral("Unzip only selected"), listSide);
    m_selected->setObjectName(QStringLiteral("R_sel"));
    auto *radios = new QHBoxLayout;
    radios->addWidget(m_all);
    radios->addWidget(m_selected);
    radios->addStretch(1);

    m_options = new QPushButton(QStringLiteral("Options"), listSide);
    m_options->setObjectName(QStringLiteral("B_Options"));
    m_options->setCheckable(true);
    m_abort = new QPushButton(QStringLiteral("Cancel"), listSide);
    m_abort->setObjectName(QStringLiteral("B_Abort"));
    m_unzip = new QPushButton(QStringLiteral("Unzip !"), listSide);
    m_unzip->setObjectName(QStringLiteral("B_Unzip"));
    m_unzip->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_options);
    buttons->addStretch(1);
    buttons->addWidget(m_abort);
    buttons->addWidget(m_unzip);

    auto *list = new QVBoxLayout(listSide);
    list->setContentsMargins(0, 0, 0, 0);
    list->addLayout(m_heads);
    list->addWidget(m_files, 1);
    // The archive comment, when there is one, and the code page of the member names.
    m_comment = new QPlainTextEdit(listSide);
    m_comment->setObjectName(QStringLiteral("ArchiveComment"));
    m_comment->setReadOnly(true);
    m_comment->setFont(fixed);
    m_comment->setMaximumHeight(56);
    m_comment->setToolTip(QStringLiteral("Archive comment"));
    m_comment->hide();
    list->addWidget(m_comment);
    auto *pageRow = new QHBoxLayout;
    auto *pageLabel = new QLabel(QStringLiteral("&Names code page:"), listSide);
    pageLabel->setObjectName(QStringLiteral("L_NamesCodePage"));
    m_namesPage = new QComboBox(listSide);
    m_namesPage->setObjectName(QStringLiteral("CB_NamesCodePage"));
    for (const dostext::CodePage page : dostext::allCodePages())
        if (page != dostext::CodePage::Utf8)
            m_namesPage->addItem(dostext::codePageName(page), int(page));
    pageLabel->setBuddy(m_namesPage);
    connect(m_namesPage, &QComboBox::currentIndexChanged, this, &TFrmUnzip::showListing);
    pageRow->addWidget(pageLabel);
    pageRow->addWidget(m_namesPage, 1);
    list->addLayout(pageRow);
    list->addWidget(m_targetLabel);
    list->addWidget(m_targetDir);
    list->addLayout(radios);
    list->addSpacing(4);
    list->addLayout(buttons);

    // The option side, visible only when the dialog is expanded.
    m_treeLabel = new QLabel(QStringLiteral("Extract to directory:"), m_optionSide);
    m_treeLabel->setObjectName(QStringLiteral("Label5"));
    m_folderTree = new TShellTree(m_optionSide);
    m_folderTree->setObjectName(QStringLiteral("FolderTree"));
    m_folderTree->setOptions(TShellTree::TF_FOLDERS);
    m_folderTree->setRootIsDecorated(true);
    m_folderTree->setUpdAutoThread(true);
    m_folderTree->setUpdAutoRec(false);
    m_folderTree->setShowMessages(true);
    m_folderTree->setShowLinkOverlay(true);
    m_folderTree->setPopupMenuMode(TShellTree::pmm_System);
    m_folderTree->setIndentation(19);
    m_treeLabel->setBuddy(m_folderTree);

    m_group = new TCaptionGroupBox(QStringLiteral(" Engine options (in blue most commons)"),
                                   m_optionSide);
    m_group->setObjectName(QStringLiteral("GroupBox1"));
    auto *checks = new QVBoxLayout(m_group);
    m_extractOnlyNewer =
        addCheck("chExtractOnlyNewer", QStringLiteral("extract only newer files"), false, false);
    m_uFlag = addCheck("chUFlag", QStringLiteral("extract only newer/new files"), false, false);
    m_oFlag = addCheck("chOFlag", QStringLiteral("always overwrite files"), true, false);
    m_cFlag = addCheck("chC_flag", QStringLiteral("case insensitive"), false, true);
    m_dFlag = addCheck("chDFlag", QStringLiteral("extract with path"), true, false);
    for (QCheckBox *box : {m_extractOnlyNewer, m_uFlag, m_oFlag, m_cFlag, m_dFlag})
        checks->addWidget(box);

    auto *options = new QVBoxLayout(m_optionSide);
    options->setContentsMargins(0, 0, 0, 0);
    options->addWidget(m_treeLabel);
    options->addWidget(m_folderTree, 1);
    options->addWidget(m_group);
    m_optionSide->hide();

    // The dialog takes the size its sides ask for, afresh whenever a caption changes.
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(Margin, Margin, Margin, Margin);
    layout->setSpacing(SideGap);
    layout->addWidget(listSide);
    layout->addWidget(m_optionSide);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_folderTree, &TShellTree::changed, this, &TFrmUnzip::FolderTreeChange);
    connect(m_options, &QPushButton::clicked, this, &TFrmUnzip::B_OptionsClick);
    connect(m_unzip, &QPushButton::clicked, this, &TFrmUnzip::B_UnzipClick);
    connect(m_abort, &QPushButton::clicked, this, &TFrmUnzip::B_AbortClick);
}

QCheckBox *TFrmUnzip::addCheck(const char *name, const QString &caption, bool common, bool on)
{
    auto *box = new QCheckBox(caption, m_group);
    box->setObjectName(QLatin1String(name));
    box->setChecked(on);
    if (common) {
        QPalette palette = box->palette();
        palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
        box->setPalette(palette);
    }
    return box;
}

void TFrmUnzip::setArchivePathSource(std::function<QString()> source)
{
    m_pathSource = std::move(source);
}

QString TFrmUnzip::archivePath() const
{
    return m_pathSource ? m_pathSource() : QString();
}

void TFrmUnzip::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFrmUnzip::alignHeads()
{
    // The size head in the language chosen may be wider than seven digits: the field widens
    // to it (with a blank before the date), so the date and name heads stand over theirs.
    const QFontMetrics fixed(m_files->font());
    const int column = fixed.horizontalAdvance(QLatin1Char('0'));
    const int textLeft = m_files->frameWidth() + 3;
    const int sizeHead = m_sizeHead->sizeHint().width();
    const int sizeWidth = std::max(7, (sizeHead - textLeft + column - 1) / column - 1);
    m_model->setSizeWidth(sizeWidth);
    const int dateLeft = textLeft + (sizeWidth + 2) * column;
    const int dateHead = m_dateHead->sizeHint().width() + column;
    const int nameLeft = std::max(dateLeft + 16 * column, dateLeft + dateHead);
    m_heads->setColumnMinimumWidth(0, dateLeft);
    m_heads->setColumnMinimumWidth(1, nameLeft - dateLeft);
}

void TFrmUnzip::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        m_model->release();
}

void TFrmUnzip::FormShow()
{
    alignHeads();
    // Every showing starts collapsed, with the toggle up to match.
    m_options->setChecked(false);
    B_OptionsClick();
    centreWindow(this);
    m_folderTree->setPath(QDir::homePath());
    // With nothing selected in the main tree the archive listed last is listed again, and the
    // title names it.
    const QString path = archivePath();
    Get_Contents(path.trimmed().isEmpty() ? m_listedPath : path);
    setWindowTitle(QStringLiteral("Decompressing ") + pathbytes::display(m_listedPath));
}

void TFrmUnzip::targetEdited()
{
    const QString text = m_targetDir->text();
    if (text != pathbytes::display(m_targetPath) && QFileInfo(text).isDir())
        m_folderTree->setPath(text);
}

void TFrmUnzip::FolderTreeChange()
{
    m_targetPath = m_folderTree->path();
    m_targetDir->setText(pathbytes::display(m_targetPath));
}

QString TFrmUnzip::targetDir() const
{
    // The field shows the chosen folder as the user reads it; while it does, the folder's
    // own bytes are meant.
    const QString text = m_targetDir->text();
    return text == pathbytes::display(m_targetPath) ? m_targetPath : text;
}

void TFrmUnzip::B_OptionsClick()
{
    m_optionSide->setVisible(m_options->isChecked());
    layout()->activate();
    keepOnScreen(this);
}

void TFrmUnzip::B_AbortClick()
{
    hide();
}

void TFrmUnzip::Get_Contents(const QString &path)
{
    if (path.trimmed().isEmpty())
        return;
    m_listedPath = path;
    showListing();
    m_comment->clear();
    m_comment->hide();
    // The comment is read after the members, off the window's thread too: reading it opens
    // the whole archive.
    m_model->startListing(path, archiveComment);
}

void TFrmUnzip::waitForListing()
{
    m_model->waitForListing();
}

QStringList TFrmUnzip::memberNames() const
{
    return m_model->names();
}

void TFrmUnzip::listingFinished(int code, const QStringList &messages, const QByteArray &comment)
{
    const QString text = readDescription(comment).shownText();
    m_comment->setPlainText(text);
    m_comment->setVisible(!text.isEmpty());
    if (code == PK_OK || code == PK_WARN)
        return;
    // A missing or damaged archive says so rather than leaving an empty list to puzzle over.
    const QString prefix = QStringLiteral("error: %1: ").arg(m_listedPath);
    QString reason = ArchiveOps::unzipCodeText(code);
    if (!messages.isEmpty() && messages.first().startsWith(prefix))
        reason = messages.first().mid(prefix.size());
    showMessage(QStringLiteral("The archive %1 cannot be read: %2.").arg(m_listedPath, reason),
                Prompter::Icon::Warning);
}

void TFrmUnzip::showListing()
{
    m_model->setNamesPage(dostext::CodePage(m_namesPage->currentData().toInt()));
}

ArchiveOps::ExtractReport TFrmUnzip::UnZip_SelectedFiles(const QString &path, bool all)
{
    if (path.trimmed().isEmpty())
        return {};
    m_selectedNames.clear();

    ArchiveOps::ExtractRequest request;
    request.archive = path;
    request.targetDir = targetDir();
    request.extractOnlyNewer = m_extractOnlyNewer->isChecked();
    request.uFlag = m_uFlag->isChecked();
    request.oFlag = m_oFlag->isChecked();
    request.cFlag = m_cFlag->isChecked();
    request.dFlag = m_dFlag->isChecked();
    request.namesPage = dostext::CodePage(m_namesPage->currentData().toInt());

    // "All" is asked of the engine as such; names are needed then only to rename the files
    // as read in another code page. Line i of the listing belongs to member i.
    request.all = all;
    if (all) {
        if (request.namesPage != dostext::CodePage::Cp437)
            request.names = m_model->names();
    } else {
        for (const QItemSelectionRange &range : m_files->selectionModel()->selection())
            for (int row = range.top(); row <= range.bottom(); ++row)
                m_selectedNames.append(m_model->name(row));
        request.names = m_selectedNames;
        if (request.names.isEmpty())
            return {};
    }

    ArchiveOps::ExtractReport report;
    if (m_wait) {
        m_wait->start(this);
        report = ArchiveOps::unzipSelectedFiles(
            request,
            [this](const QString &name, int index, int total) {
                return m_wait->progress(name, index, total);
            },
            [this](const QString &name, uint64_t done, uint64_t size) {
                return m_wait->memberProgress(name, done, size);
            });
        m_wait->stop();
    } else {
        report = ArchiveOps::unzipSelectedFiles(request);
    }
    return report;
}

void TFrmUnzip::B_UnzipClick()
{
    // The archive listed, not whatever the main tree shows now: the member names belong to
    // it, and the modeless dialog may have stayed open while the selection moved on.
    const QString path = m_listedPath;
    if (m_targetDir->text().trimmed().isEmpty()) {
        showMessage(QStringLiteral("Choose the folder to decompress to."));
        return;
    }
    const ArchiveOps::ExtractReport report = UnZip_SelectedFiles(path, m_all->isChecked());
    if (report.ok() || report.cancelled)
        return;
    QString text = QStringLiteral("Decompressing %1 into %2 reported %3 problem%4:")
                       .arg(pathbytes::display(path), m_targetDir->text())
                       .arg(report.problems.size())
                       .arg(report.problems.size() == 1 ? QString() : QStringLiteral("s"));
    text += QLatin1Char('\n');
    for (qsizetype i = 0; i < std::min<qsizetype>(QuotedProblems, report.problems.size()); ++i)
        text += QLatin1Char('\n') + report.problems.at(i);
    if (report.problems.size() > QuotedProblems)
        text += QStringLiteral("\n... and %1 more.").arg(report.problems.size() - QuotedProblems);
    showMessage(text, Prompter::Icon::Critical);
}
