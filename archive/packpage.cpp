// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/packpage.h"

#include "archive/waitwindow.h"
#include "archive/zipoptdialog.h"
#include "common/pathbytes.h"
#include "common/prompter.h"
#include "widgets/shelltree.h"

#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QShowEvent>
#include <QSplitter>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// How many of the engine's lines the message after a failed run quotes.
constexpr int QuotedLines = 10;

QString defaultSaveDialog(QWidget *parent, const QString &current)
{
    QFileDialog dialog(parent, QString(), current, QStringLiteral("Compressed files (*.zip)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("zip"));
    dialog.setFileMode(QFileDialog::AnyFile);
    // Packing adds to an existing archive, so choosing one is no overwrite.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!current.trimmed().isEmpty())
        dialog.selectFile(current.trimmed());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

} // namespace

TPackPage::TPackPage(TFrmWaitZip *wait, TFrmZipOpt *options, QWidget *parent)
    : QWidget(parent), m_wait(wait), m_options(options), m_saveDialog(defaultSaveDialog)
{
    setObjectName(QStringLiteral("PackPageContent"));

    m_step1 = stepLabel("Lstep1", QStringLiteral("step 1:"));
    m_step2 = stepLabel("Lstep2", QStringLiteral("step 2:"));
    m_step3 = stepLabel("Lstep3", QStringLiteral("step 3:"));
    m_drag = new QLabel(QStringLiteral("Drag from here files to be zipped..."), this);
    m_drag->setObjectName(QStringLiteral("Ldrag"));
    m_drop = new QLabel(QStringLiteral("... and drop here"), this);
    m_drop->setObjectName(QStringLiteral("Ldrop"));

    m_fileMgr = new TShellTree(this);
    m_fileMgr->setObjectName(QStringLiteral("LFileMgr"));
    // The mask first: with files shown, each of these settings reads the folders again.
    m_fileMgr->setFileMask(QStringLiteral("*.*"));
    m_fileMgr->setFileMaskUse(false);
    m_fileMgr->setOptions(TShellTree::TF_FOLDERS | TShellTree::TF_NONFOLDERS);
    m_fileMgr->setFileSortType(TShellTree::so_Name);
    m_fileMgr->setUpdAutoThread(true);
    m_fileMgr->setUpdAutoRec(true);
    m_fileMgr->setShowMessages(false);
    m_fileMgr->setIndentation(20);
    m_fileMgr->setAutoDrag(true);
    m_fileMgr->setPopupMenuMode(TShellTree::pmm_PopupMenu);
    // "Computer" is the tree's only top node and stays open: no arrow beside it.
    m_fileMgr->setRootIsDecorated(false);
    m_fileMgr->installEventFilter(this);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("ListaZip"));
    m_list->setSortingEnabled(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setAcceptDrops(true);
    m_list->viewport()->setAcceptDrops(true);
    m_list->setDragDropMode(QAbstractItemView::DropOnly);
    m_list->installEventFilter(this);
    m_list->viewport()->installEventFilter(this);

    auto *leftPane = new QWidget;
    auto *left = new QVBoxLayout(leftPane);
    left->setContentsMargins(0, 0, 0, 0);
    auto *dragRow = new QHBoxLayout;
    dragRow->addWidget(m_step1);
    dragRow->addWidget(m_drag, 1);
    left->addLayout(dragRow);
    left->addWidget(m_fileMgr, 1);
    auto *rightPane = new QWidget;
    auto *right = new QVBoxLayout(rightPane);
    right->setContentsMargins(0, 0, 0, 0);
    right->addWidget(m_drop);
    right->addWidget(m_list, 1);

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("Splitter2"));
    m_splitter->addWidget(leftPane);
    m_splitter->addWidget(rightPane);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setStretchFactor(0, 1);
    m_splitter->setStretchFactor(1, 1);

    m_zipFileName = new QLineEdit(QDir::homePath() + QStringLiteral("/ZIPPED.ZIP"), this);
    m_zipFileName->setObjectName(QStringLiteral("edtZipFileName"));
    m_saveTo = new QPushButton(QStringLiteral("Choose zip file name..."), this);
    m_saveTo->setObjectName(QStringLiteral("btnSaveTo"));
    m_saveTo->setToolTip(QStringLiteral("Name of the archive file"));
    m_zipOpt = new QPushButton(QStringLiteral("Options..."), this);
    m_zipOpt->setObjectName(QStringLiteral("B_ZipOpt"));
    m_zipOpt->setToolTip(QStringLiteral("ZIP engine options"));
    m_zipThem = new QPushButton(QStringLiteral("Zip!"), this);
    m_zipThem->setObjectName(QStringLiteral("B_ZipThem"));
    QFont big = m_zipThem->font();
    big.setBold(true);
    // The window's font may be given in pixels, so the size is scaled in whichever unit it has.
    if (big.pointSizeF() > 0)
        big.setPointSizeF(big.pointSizeF() * 1.6);
    else
        big.setPixelSize(qRound(big.pixelSize() * 1.6));
    m_zipThem->setFont(big);
    m_zipThem->setMinimumSize(120, 44);

    auto *bottom = new QGridLayout;
    bottom->addWidget(m_step2, 0, 0);
    bottom->addWidget(m_zipFileName, 0, 1);
    bottom->addWidget(m_saveTo, 0, 2);
    bottom->addWidget(m_zipOpt, 0, 3);
    bottom->addWidget(m_step3, 0, 4);
    bottom->addWidget(m_zipThem, 0, 5);
    bottom->setColumnStretch(1, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_splitter, 1);
    layout->addLayout(bottom);

    connect(m_saveTo, &QPushButton::clicked, this, &TPackPage::btnSaveToClick);
    connect(m_zipOpt, &QPushButton::clicked, this, &TPackPage::B_ZipOptClick);
    connect(m_zipThem, &QPushButton::clicked, this, &TPackPage::B_ZipThemClick);
}

QLabel *TPackPage::stepLabel(const char *name, const QString &text)
{
    // Bold yellow on a dark ground, so that the steps stand out and stay legible.
    auto *label = new QLabel(text, this);
    label->setObjectName(QLatin1String(name));
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    label->setAutoFillBackground(true);
    label->setMargin(2);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(255, 255, 0));
    palette.setColor(QPalette::Window, QColor(0, 0, 128));
    label->setPalette(palette);
    return label;
}

void TPackPage::setSaveDialog(SaveDialog dialog)
{
    m_saveDialog = std::move(dialog);
}

QStringList TPackPage::lines() const
{
    QStringList result;
    result.reserve(m_list->count());
    for (int i = 0; i < m_list->count(); ++i) {
        // A line shows a path as the user reads it; the path itself, bytes kept, is beside it.
        const QVariant path = m_list->item(i)->data(Qt::UserRole);
        result.append(path.isValid() ? path.toString() : m_list->item(i)->text());
    }
    return result;
}

void TPackPage::addLine(const QString &path)
{
    auto *item = new QListWidgetItem(pathbytes::display(path));
    item->setData(Qt::UserRole, path);
    m_list->addItem(item);
}

bool TPackPage::ListaZipDragOver(const QObject *source) const
{
    return qobject_cast<const TShellTree *>(source) != nullptr;
}

void TPackPage::ListaZipDragDrop(const QObject *source)
{
    // The path of the dragged-from tree's selected node: a file or folder path as it stands,
    // and an empty line for the "Computer" root. Nothing is checked for duplicates.
    if (const auto *tree = qobject_cast<const TShellTree *>(source))
        addLine(tree->path());
}

bool TPackPage::ListaZipKeyDown(int key)
{
    if (key != Qt::Key_Delete)
        return false;
    QListWidgetItem *current = m_list->currentItem();
    if (current && current->isSelected())
        delete m_list->takeItem(m_list->row(current));
    return true;
}

bool TPackPage::LFileMgrKeyDown(int key)
{
    // The keyboard's way to fill the list: Insert adds the selected file or folder as a drag
    // would; Enter adds a file (on a folder it keeps the tree's own meaning).
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    if (key != Qt::Key_Insert && !enter)
        return false;
    QTreeWidgetItem *current = m_fileMgr->currentItem();
    const bool file = !m_fileMgr->filePath(current).isEmpty();
    if (!current || !current->isSelected() || m_fileMgr->path().isEmpty() || (enter && !file))
        return false;
    addLine(m_fileMgr->path());
    m_list->scrollToBottom();
    return true;
}

void TPackPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The node selected at start is laid out only now: bring it clear of the scroll bars.
    if (m_fileMgr->currentItem())
        QMetaObject::invokeMethod(
            m_fileMgr, [tree = m_fileMgr] { tree->scrollToItem(tree->currentItem()); },
            Qt::QueuedConnection);
}

bool TPackPage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_fileMgr && event->type() == QEvent::KeyPress)
        return LFileMgrKeyDown(static_cast<QKeyEvent *>(event)->key()) ||
               QWidget::eventFilter(watched, event);
    if (watched == m_list->viewport()) {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto *drag = static_cast<QDragMoveEvent *>(event);
            // Files dragged from another program's file manager are welcome too.
            const bool files = !drag->source() && drag->mimeData()->hasUrls();
            if (ListaZipDragOver(drag->source()) || files)
                drag->acceptProposedAction();
            else
                drag->ignore();
            return true;
        }
        case QEvent::Drop: {
            auto *drop = static_cast<QDropEvent *>(event);
            if (ListaZipDragOver(drop->source())) {
                ListaZipDragDrop(drop->source());
                drop->acceptProposedAction();
            } else if (!drop->source() && drop->mimeData()->hasUrls()) {
                for (const QUrl &url : drop->mimeData()->urls()) {
                    if (url.isLocalFile())
                        addLine(pathbytes::fromUrl(url));
                }
                drop->acceptProposedAction();
            } else {
                drop->ignore();
            }
            return true;
        }
        default:
            break;
        }
    } else if (watched == m_list && event->type() == QEvent::KeyPress) {
        if (ListaZipKeyDown(static_cast<QKeyEvent *>(event)->key()))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TPackPage::btnSaveToClick()
{
    if (!m_saveDialog)
        return;
    const QString chosen = m_saveDialog(this, m_zipFileName->text());
    if (!chosen.isEmpty())
        m_zipFileName->setText(chosen);
}

void TPackPage::B_ZipOptClick()
{
    if (!m_options)
        return;
    m_options->Get_ZipDllOptions();
    m_options->show();
    m_options->raise();
    m_options->activateWindow();
}

void TPackPage::B_ZipThemClick()
{
    if (m_list->count() > 0)
        ZipFiles(m_zipFileName->text(), lines());
}

ArchiveOps::ZipReport TPackPage::ZipFiles(const QString &archivePath, const QStringList &files)
{
    if (archivePath.trimmed().isEmpty() || files.isEmpty())
        return {};
    ArchiveOps::ZipReport report;
    if (m_wait) {
        m_wait->start(this);
        report = ArchiveOps::zipFiles(
            archivePath, files,
            [this](const QString &name, int index, int total) {
                return m_wait->progress(name, index, total);
            },
            [this](const QString &name, uint64_t done, uint64_t size) {
                return m_wait->memberProgress(name, done, size);
            });
        m_wait->stop();
    } else {
        report = ArchiveOps::zipFiles(archivePath, files);
    }
    if (report.ok() || report.cancelled)
        return report;

    QString text = !report.stopped()
                       ? QStringLiteral("The archive %1 was written, but not everything went "
                                        "in:")
                             .arg(archivePath)
                       : QStringLiteral("The archive %1 could not be written (%2):")
                             .arg(archivePath, ArchiveOps::zipCodeText(report.code));
    text += QLatin1Char('\n');
    for (qsizetype i = 0; i < std::min<qsizetype>(QuotedLines, report.lines.size()); ++i)
        text += QLatin1Char('\n') + report.lines.at(i);
    if (report.lines.size() > QuotedLines)
        text += QStringLiteral("\n... and %1 more.").arg(report.lines.size() - QuotedLines);
    showMessage(text, Prompter::Icon::Critical);
    return report;
}
