// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/mainwindow.h"

#include "app/descriptionpane.h"
#include "app/fontdialog.h"
#include "app/quorilapplication.h"
#include "archive/packpage.h"
#include "archive/unzipdialog.h"
#include "archive/waitwindow.h"
#include "archive/zipoptdialog.h"
#include "common/captionwidgets.h"
#include "common/fileerror.h"
#include "common/mnemonics.h"
#include "common/pathbytes.h"
#include "common/prompter.h"
#include "common/windowplace.h"
#include "description/embed.h"
#include "find/findform.h"
#include "find/findsession.h"
#include "find/tipsource.h"
#include "find/treetips.h"
#include "formats/formats.h"
#include "id3/editkeys.h"
#include "id3/id3tag.h"
#include "id3/id3v2.h"
#include "id3/mp3pane.h"
#include "render/dosfont.h"
#include "settings/customdialog.h"
#include "settings/langdialog.h"
#include "settings/language.h"
#include "settings/treeformats.h"
#include "shell/aboutbox.h"
#include "shell/helpwindow.h"
#include "shell/trayshell.h"
#include "widgets/shelltree.h"
#include "zipengine/enginetext.h"
#include "zipengine/zipengine.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

#include <functional>

bool UnsavedChanges = false;

namespace {

const QString AllCustomDefault = QStringLiteral("all custom files");
// The name B_Custom or the pane's frame shows, kept beside its caption.
constexpr const char *CustomNameProperty = "customName";

// The window's size when its captions need no more room.
constexpr QSize DesignedSize(641, 494);

// "Quoril 2000" drawn turned by 90 degrees, reading upwards.
class UpwardLabel : public QWidget
{
public:
    UpwardLabel(const QString &text, QWidget *parent)
        : QWidget(parent), m_text(text), m_font(QStringLiteral("Comic Neue"))
    {
        m_font.setPixelSize(48);
        m_font.setBold(true);
    }
    QString text() const { return m_text; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.setPen(Qt::yellow);
        p.setFont(m_font);
        p.translate(0, height());
        p.rotate(-90);
        p.drawText(QRect(0, 0, height(), width()), Qt::AlignCenter, m_text);
    }

private:
    QString m_text;
    QFont m_font;
};

QPushButton *modeButton(const QString &name, const QString &caption, QWidget *parent)
{
    auto *button = new TCaptionButton(caption, parent);
    button->setObjectName(name);
    button->setCheckable(true);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

} // namespace

struct TMain::Private
{
    TShellTree *LFile = nullptr;
    QGroupBox *Cornice = nullptr;
    QPlainTextEdit *DIZEdit = nullptr;
    TMP3Panel *MP3panel = nullptr;
    TID3Tag IDMP;
    std::function<QString()> levelText;
    QTabWidget *Pagina = nullptr;
    QWidget *PackPage = nullptr;
    QPushButton *B_Auto = nullptr;
    QPushButton *B_FileID = nullptr;
    QPushButton *B_Readme = nullptr;
    QPushButton *B_Filename = nullptr;
    QToolButton *B_Custom = nullptr;
    QMenu *CustMenu = nullptr;
    QPushButton *B_autoview = nullptr;
    QPushButton *B_view = nullptr;
    QPushButton *B_Unzip = nullptr;
    QPushButton *B_Save = nullptr;
    QAction *M_WW = nullptr;
    QAction *Customfile1 = nullptr;
    QAction *Changelanguage1 = nullptr;
    QAction *ManagingZIPfiles1 = nullptr;
    QAction *About1 = nullptr;
    TLangForm *LangForm = nullptr;
    TCustom_ext *Custom_ext = nullptr;
    TAboutBox *AboutBox = nullptr;
    TTrayShell *Tray = nullptr;
    THelpWindow *Help = nullptr;
    TFrmUnzip *FrmUnzip = nullptr;
    TFrmZipOpt *FrmZipOpt = nullptr;
    TFrmWaitZip *FrmWaitZip = nullptr;
    TPackPage *packer = nullptr;
    QAction *M_Find = nullptr;
    TFindForm *FindForm = nullptr;
    QAction *Hiddenfiles1 = nullptr;
    QAction *M_Formats = nullptr;
    QButtonGroup *modes = nullptr;
    QFont editorFont;
    TTreeTips *treeTips = nullptr;
    QColor editorColor = QColor(0, 0, 128);
    bool fontChosen = false;
    // Set while a lookup fills the pane: that is not an edit of the user's.
    bool loadingText = false;
    bool exitConfirmed = false;
    // Set until the first frame of the main window has been painted, when the work windows
    // are built right after it.
    bool buildAfterFrame = false;
    TDescriptionPane *pane = nullptr;
    QString paneArchive;
};

TMain::TMain(QWidget *parent) : QMainWindow(parent), d(new Private)
{
    setObjectName(QStringLiteral("Main"));
    setWindowTitle(QStringLiteral("Quoril"));
    QFont windowFont = font();
    windowFont.setPixelSize(11);
    setFont(windowFont);

    // The creation handler: the engine check has already run (EngineCheck) before the window
    // is made, so nothing is built when it fails.
    UnsavedChanges = false;
    StartDir = pathbytes::currentDir();
    SettingsDir = StartDir;

    buildMenus();

    auto *central = new QWidget(this);
    auto *layout = new QHBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *panel1 = new QFrame(central);
    panel1->setObjectName(QStringLiteral("Panel1"));
    panel1->setFixedWidth(57);
    panel1->setFrameShape(QFrame::Panel);
    panel1->setFrameShadow(QFrame::Raised);
    auto *strip = new QVBoxLayout(panel1);
    strip->setContentsMargins(2, 2, 2, 2);
    auto *aLabel = new UpwardLabel(QStringLiteral("Quoril 2000"), panel1);
    aLabel->setObjectName(QStringLiteral("ALabel1"));
    strip->addWidget(aLabel, 1);
    auto *panel3 = new QLabel(QStringLiteral("v 2.5"), panel1);
    panel3->setObjectName(QStringLiteral("Panel3"));
    panel3->setAlignment(Qt::AlignCenter);
    panel3->setFrameShape(QFrame::Panel);
    panel3->setFrameShadow(QFrame::Sunken);
    strip->addWidget(panel3);
    layout->addWidget(panel1);

    d->Pagina = new QTabWidget(central);
    d->Pagina->setObjectName(QStringLiteral("Pagina"));
    d->Pagina->setTabPosition(QTabWidget::South);
    // Both tabs show their whole caption: the window grows for them rather than eliding.
    d->Pagina->setUsesScrollButtons(false);
    d->Pagina->setElideMode(Qt::ElideNone);
    d->Pagina->addTab(buildDescriptionPage(), QStringLiteral("Info ZIP files"));
    d->PackPage = new QWidget(d->Pagina);
    d->PackPage->setObjectName(QStringLiteral("PackPage"));
    new QVBoxLayout(d->PackPage);
    d->Pagina->addTab(d->PackPage, QStringLiteral("Easy zip packer"));
    d->Pagina->setCurrentIndex(0);
    layout->addWidget(d->Pagina, 1);
    setCentralWidget(central);
    addKeyboardShortcuts();

    placeWindow(this, DesignedSize, PlaceOn::FirstShow);

    AllCustomLabel = d->B_Custom->text();
    BuildCustMenu({});
    setUnsaved(false);
}

TMain::~TMain()
{
    // The tree may still tell of a selection while the window's children are taken down, after
    // the window's own state is gone.
    d->LFile->disconnect(this);
    delete d;
}

QString TMain::EngineCheck()
{
    return ZipEngine::load();
}

void TMain::addKeyboardShortcuts()
{
    // Shortcuts of the window's own, not of the menus: they work wherever the focus is in the
    // window, the description pane included, whose Tab inserts a tab.
    const auto shortcut = [this](QKeySequence keys, auto handler) {
        auto *action = new QAction(this);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, handler);
        addAction(action);
        return action;
    };
    // Only what the button would do: with nothing to save, the keys do nothing.
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_S), [this] {
        if (d->B_Save->isEnabled())
            B_SaveClick();
    })->setObjectName(QStringLiteral("A_Save"));
    const auto turnPage = [this](int step) {
        const int count = d->Pagina->count();
        d->Pagina->setCurrentIndex((d->Pagina->currentIndex() + step + count) % count);
        // The keyboard goes along to the page shown, out of the description pane.
        QWidget *page = d->Pagina->currentWidget();
        for (QWidget *w = page->nextInFocusChain(); w != page; w = w->nextInFocusChain()) {
            if (page->isAncestorOf(w) && w->isVisibleTo(page) && w->isEnabled() &&
                (w->focusPolicy() & Qt::TabFocus)) {
                w->setFocus(Qt::TabFocusReason);
                break;
            }
        }
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), [turnPage] { turnPage(1); });
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), [turnPage] { turnPage(-1); });
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), [turnPage] { turnPage(-1); });
}

void TMain::assignMnemonics()
{
    // Language files may give captions without "&": each menu's items, and the menu bar's
    // menus, get keys of their own that do not clash.
    const auto assignTo = [](const QList<QAction *> &actions) {
        QStringList captions;
        for (const QAction *action : actions)
            captions << action->text();
        const QStringList marked = mnemonics::assign(captions);
        for (qsizetype i = 0; i < actions.size(); ++i)
            actions.at(i)->setText(marked.at(i));
    };
    assignTo(menuBar()->actions());
    for (const QAction *menu : menuBar()->actions())
        if (menu->menu())
            assignTo(menu->menu()->actions());
}

void TMain::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("File"));
    file->menuAction()->setObjectName(QStringLiteral("File1"));
    QAction *exit = file->addAction(QStringLiteral("Exit"), this, &TMain::Exit1Click);
    exit->setObjectName(QStringLiteral("Exit1"));
    exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu *options = menuBar()->addMenu(QStringLiteral("Options"));
    options->menuAction()->setObjectName(QStringLiteral("Options1"));
    options->addAction(QStringLiteral("Font..."), this, &TMain::M_FontClick)
        ->setObjectName(QStringLiteral("M_Font"));
    d->M_WW = options->addAction(QStringLiteral("Word wrap"), this, &TMain::M_WWClick);
    d->M_WW->setObjectName(QStringLiteral("M_WW"));
    d->M_WW->setCheckable(true);
    d->Hiddenfiles1 =
        options->addAction(QStringLiteral("Show hidden files"), this, &TMain::Hiddenfiles1Click);
    d->Hiddenfiles1->setObjectName(QStringLiteral("Hiddenfiles1"));
    d->Hiddenfiles1->setCheckable(true);
    d->Customfile1 = options->addAction(QStringLiteral("Custom file..."));
    d->Customfile1->setObjectName(QStringLiteral("Customfile1"));
    d->Customfile1->setEnabled(false);
    d->Changelanguage1 = options->addAction(QStringLiteral("Change language..."));
    d->Changelanguage1->setObjectName(QStringLiteral("Changelanguage1"));
    d->Changelanguage1->setEnabled(false);
    d->M_Find = options->addAction(QStringLiteral("Find in descriptions..."));
    d->M_Find->setObjectName(QStringLiteral("M_Find"));
    d->M_Find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    d->M_Find->setEnabled(false);
    // Last in the menu, so that the positions language files give the other items stay.
    d->M_Formats =
        options->addAction(QStringLiteral("Other archive formats"), this, &TMain::M_FormatsClick);
    d->M_Formats->setObjectName(QStringLiteral("M_Formats"));
    d->M_Formats->setCheckable(true);
    d->M_Formats->setToolTip(QStringLiteral("Show LHA, ARJ, RAR, 7z and other archives in the "
                                            "tree; their descriptions are shown read-only"));

    QMenu *help = menuBar()->addMenu(QStringLiteral("Help"));
    help->menuAction()->setObjectName(QStringLiteral("Help1"));
    d->ManagingZIPfiles1 = help->addAction(QStringLiteral("Using Quoril"));
    d->ManagingZIPfiles1->setObjectName(QStringLiteral("ManagingZIPfiles1"));
    d->ManagingZIPfiles1->setShortcut(QKeySequence(Qt::Key_F1));
    d->ManagingZIPfiles1->setEnabled(false);
    d->About1 = help->addAction(QStringLiteral("About..."));
    d->About1->setObjectName(QStringLiteral("About1"));
    d->About1->setEnabled(false);
}

QWidget *TMain::buildDescriptionPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("DIZPage"));
    auto *pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(2, 2, 2, 2);

    auto *splitter = new QSplitter(Qt::Horizontal, page);
    splitter->setObjectName(QStringLiteral("Splitter1"));
    splitter->setHandleWidth(5);

    auto *groupBox2 = new QGroupBox(splitter);
    groupBox2->setObjectName(QStringLiteral("GroupBox2"));
    auto *treeLayout = new QVBoxLayout(groupBox2);
    treeLayout->setContentsMargins(2, 2, 2, 2);
    d->LFile = new TShellTree(groupBox2);
    d->LFile->setObjectName(QStringLiteral("LFile"));
    // The mask first: with files not shown yet it is only kept, and the tree is read once, for
    // the options.
    d->LFile->setFileMask(QStringLiteral("*.zip;*.mp3"));
    d->LFile->setFileMaskUse(true);
    d->LFile->setOptions(TShellTree::TF_FOLDERS | TShellTree::TF_NONFOLDERS);
    d->LFile->setUpdAutoThread(false);
    d->LFile->setUpdAutoRec(true);
    d->LFile->setShowMessages(false);
    d->LFile->setRootIsDecorated(false);
    d->LFile->setIndentation(19);
    d->LFile->setPopupMenuMode(TShellTree::pmm_PopupMenu);
    treeLayout->addWidget(d->LFile);
    connect(d->LFile, &TShellTree::changed, this, &TMain::LFileChange);
    connect(d->LFile, &TShellTree::dblClicked, this, &TMain::LFileDblClick);

    d->Cornice = new QGroupBox(QStringLiteral("file_id.diz"), splitter);
    d->Cornice->setObjectName(QStringLiteral("Cornice"));
    auto *stack = new QGridLayout(d->Cornice);
    stack->setContentsMargins(2, 2, 2, 2);
    d->DIZEdit = new QPlainTextEdit(d->Cornice);
    d->DIZEdit->setObjectName(QStringLiteral("DIZEdit"));
    d->DIZEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    d->DIZEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    d->DIZEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    d->editorFont = dosFont();
    d->DIZEdit->setFont(d->editorFont);
    QPalette palette = d->DIZEdit->palette();
    palette.setColor(QPalette::Text, d->editorColor);
    d->DIZEdit->setPalette(palette);
    d->DIZEdit->installEventFilter(this);
    // Until a file is shown there is nothing to save into, so nothing may be typed.
    d->DIZEdit->setReadOnly(true);
    stack->addWidget(d->DIZEdit, 1, 0);
    TDescriptionPane::Hooks hooks;
    hooks.setText = [this](const QString &text) {
        d->loadingText = true;
        d->DIZEdit->setPlainText(text);
        d->loadingText = false;
    };
    hooks.dosFont = [this] { return d->editorFont; };
    hooks.unsaved = [] { return UnsavedChanges; };
    d->pane = new TDescriptionPane(d->Cornice, stack, d->DIZEdit, std::move(hooks));
    // Any change of the text that a lookup did not make is an edit of the user's: typing,
    // paste, cut, drag and drop, undo.
    connect(d->DIZEdit->document(), &QTextDocument::contentsChange, this,
            [this](int, int removed, int added) {
                if (!d->loadingText && (removed || added))
                    setUnsaved(true);
            });
    d->MP3panel = new TMP3Panel(d->Cornice);
    d->MP3panel->setAutoFillBackground(true);
    d->MP3panel->hide();
    connect(d->MP3panel, &TMP3Panel::edited, this, [this] { setUnsaved(true); });
    stack->addWidget(d->MP3panel, 0, 0, 2, 1);

    splitter->addWidget(groupBox2);
    splitter->addWidget(d->Cornice);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({198, 380});
    pageLayout->addWidget(splitter, 1);

    auto *panel2 = new QFrame(page);
    panel2->setObjectName(QStringLiteral("Panel2"));
    panel2->setMinimumHeight(52);
    auto *buttons = new QHBoxLayout(panel2);
    buttons->setContentsMargins(2, 1, 2, 1);
    auto *modeGrid = new QGridLayout;
    modeGrid->setSpacing(1);
    d->B_Auto = modeButton(QStringLiteral("B_Auto"), QStringLiteral("Auto select"), panel2);
    d->B_FileID = modeButton(QStringLiteral("B_FileID"), QStringLiteral("file_id.diz"), panel2);
    d->B_Readme = modeButton(QStringLiteral("B_Readme"), QStringLiteral("readme.txt"), panel2);
    d->B_Filename =
        modeButton(QStringLiteral("B_Filename"), QStringLiteral("<filename>.txt"), panel2);
    d->B_Custom = new QToolButton(panel2);
    d->B_Custom->setObjectName(QStringLiteral("B_Custom"));
    d->B_Custom->setText(AllCustomDefault);
    d->B_Custom->setCheckable(true);
    d->B_Custom->setToolButtonStyle(Qt::ToolButtonTextOnly);
    d->B_Custom->setPopupMode(QToolButton::InstantPopup);
    d->B_Custom->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    d->CustMenu = new QMenu(d->B_Custom);
    d->CustMenu->setObjectName(QStringLiteral("CustMenu"));
    d->B_Custom->setMenu(d->CustMenu);
    // Opening the menu makes B_Custom the mode button that is down, chosen entry or not.
    connect(d->CustMenu, &QMenu::aboutToHide, this, [this] { d->B_Custom->setChecked(true); });
    connect(d->CustMenu, &QMenu::triggered, this, &TMain::GestCust);
    d->modes = new QButtonGroup(this);
    d->modes->setExclusive(true);
    for (QAbstractButton *b :
         {static_cast<QAbstractButton *>(d->B_Auto), static_cast<QAbstractButton *>(d->B_FileID),
          static_cast<QAbstractButton *>(d->B_Readme),
          static_cast<QAbstractButton *>(d->B_Filename),
          static_cast<QAbstractButton *>(d->B_Custom)})
        d->modes->addButton(b);
    d->B_Auto->setChecked(true);
    modeGrid->addWidget(d->B_Auto, 0, 0);
    modeGrid->addWidget(d->B_FileID, 0, 1);
    modeGrid->addWidget(d->B_Readme, 0, 2);
    modeGrid->addWidget(d->B_Filename, 1, 0);
    modeGrid->addWidget(d->B_Custom, 1, 1, 1, 2);
    buttons->addLayout(modeGrid, 5);
    for (QPushButton *b : {d->B_Auto, d->B_FileID, d->B_Readme, d->B_Filename})
        connect(b, &QPushButton::clicked, this, &TMain::GetInfo);

    d->B_autoview = new TCaptionButton(QStringLiteral("Auto view"), panel2);
    d->B_autoview->setObjectName(QStringLiteral("B_autoview"));
    d->B_autoview->setCheckable(true);
    d->B_autoview->setChecked(true);
    d->B_view = new TCaptionButton(QStringLiteral("View"), panel2);
    d->B_view->setObjectName(QStringLiteral("B_view"));
    connect(d->B_view, &QPushButton::clicked, this, &TMain::B_viewClick);
    d->B_Unzip = new TCaptionButton(QStringLiteral("Extract..."), panel2);
    d->B_Unzip->setObjectName(QStringLiteral("B_Unzip"));
    d->B_Unzip->setEnabled(false);
    connect(d->B_Unzip, &QPushButton::clicked, this, &TMain::B_UnzipClick);
    d->B_Save = new TCaptionButton(QStringLiteral("Save info"), panel2);
    d->B_Save->setObjectName(QStringLiteral("B_Save"));
    d->B_Save->setEnabled(false);
    connect(d->B_Save, &QPushButton::clicked, this, &TMain::B_SaveClick);
    // Every button keeps room for its whole caption; the window grows for a longer one.
    for (QPushButton *b : {d->B_autoview, d->B_view, d->B_Unzip, d->B_Save}) {
        b->setMinimumHeight(40);
        buttons->addWidget(b, 1);
    }
    pageLayout->addWidget(panel2);
    return page;
}

void TMain::CreateSecondaryWindows(WindowBuild when)
{
    // The wait window is made first: the extraction dialog and the packer are built around it.
    d->FrmWaitZip = new TFrmWaitZip(this);
    if (when == WindowBuild::Now)
        buildWorkWindows();
    // The find window and the extraction dialog open through these even before they are
    // built: their handlers build them first.
    connect(d->M_Find, &QAction::triggered, this, &TMain::M_FindClick);
    d->M_Find->setEnabled(true);

    d->LangForm = new TLangForm(StartDir, SettingsDir, this);
    connect(d->Changelanguage1, &QAction::triggered, this, [this] {
        buildWorkWindows();
        d->LangForm->setTargets(languageTargets());
        d->LangForm->exec();
        assignMnemonics();
    });
    d->Changelanguage1->setEnabled(true);

    d->Custom_ext = new TCustom_ext(this);
    connect(d->Custom_ext, &TCustom_ext::listApplied, this,
            [this] { BuildCustMenu(d->Custom_ext->entries()); });
    connect(d->Custom_ext, &TCustom_ext::enableCustom, d->B_Custom, &QToolButton::setEnabled);
    connect(d->Customfile1, &QAction::triggered, d->Custom_ext, &TCustom_ext::showDialog);
    d->Customfile1->setEnabled(true);
    // The custom-file dialog's start-up step: the language first, so that the all-custom
    // label is settled before the menu is built from the list. An unreadable list is reported
    // and start-up goes on.
    try {
        d->Custom_ext->FormCreate([this] { pgm_init(); });
    } catch (const FileError &error) {
        showTopLevelError(error.message());
    }

    d->AboutBox = new TAboutBox(this);
    d->Tray = new TTrayShell(this, d->AboutBox, this);
    d->Tray->confirmExit = [this] { return confirmExit(); };
    connect(d->About1, &QAction::triggered, d->Tray, &TTrayShell::About1Click);
    d->About1->setEnabled(true);
    d->Help = new THelpWindow(this);
    connect(d->ManagingZIPfiles1, &QAction::triggered, d->Help, &THelpWindow::showContents);
    d->ManagingZIPfiles1->setEnabled(true);

    assignMnemonics();
    if (when == WindowBuild::AfterFirstFrame) {
        // Turning to the packer page builds it before it shows.
        connect(d->Pagina, &QTabWidget::currentChanged, this, [this] { buildWorkWindows(); });
        d->buildAfterFrame = true;
        installEventFilter(this);
    }
}

void TMain::buildWorkWindows()
{
    if (d->FrmUnzip || !d->FrmWaitZip)
        return;
    d->FrmUnzip = new TFrmUnzip(d->FrmWaitZip, this);
    d->FrmUnzip->setArchivePathSource([this] { return d->LFile->path(); });
    d->FrmZipOpt = new TFrmZipOpt(this);
    d->levelText = [this] { return d->FrmZipOpt->levelText(); };
    d->packer = new TPackPage(d->FrmWaitZip, d->FrmZipOpt, d->PackPage);
    d->PackPage->layout()->addWidget(d->packer);
    d->PackPage->layout()->setContentsMargins(0, 0, 0, 0);
    d->packer->show();
    if (d->Hiddenfiles1->isChecked())
        Hiddenfiles1Click();

    // Finding in descriptions and the tree's tooltips read the collection index, each on a
    // thread of its own; the custom names take part in the lookup as they do in the pane.
    const auto customList = [this] {
        return d->Custom_ext ? d->Custom_ext->entries() : QStringList();
    };
    d->FindForm = new TFindForm(this);
    d->FindForm->session()->setCustomListSource(customList);
    connect(d->FindForm, &TFindForm::openRequested, this,
            [this](const TFilePath &path) { SelectPath(path.path()); });

    auto *tips = new TTipSource(catalog::defaultIndexPath(), this);
    tips->setCustomListSource(customList);
    d->treeTips = new TTreeTips(d->LFile, tips);
    d->treeTips->setTextFont(d->editorFont);

    // Built after the start-up language was applied: that language relabels them now. The
    // packer's captions are found inside its page.
    if (d->LangForm && LanguageName != u"default") {
        LanguageTargets targets;
        targets.main = d->PackPage;
        targets.zipOptions = d->FrmZipOpt;
        targets.unzip = d->FrmUnzip;
        targets.find = d->FindForm;
        applyLanguageNamed(LanguageName, targets);
    }
}

void TMain::M_FindClick()
{
    buildWorkWindows();
    // Looks in the folder selected in the tree, or in the folder of the selected file.
    TFilePath folder = TFilePath::fromPath(d->LFile->path());
    if (!folder.isEmpty() && !pathbytes::isDir(folder.path()))
        folder = folder.folder();
    if (folder.isEmpty())
        folder = TFilePath::fromPath(QDir::homePath());
    d->FindForm->start(folder);
}

LanguageTargets TMain::languageTargets()
{
    LanguageTargets targets;
    targets.main = this;
    targets.zipOptions = d->FrmZipOpt;
    targets.unzip = d->FrmUnzip;
    targets.customExt = d->Custom_ext;
    targets.langForm = d->LangForm;
    targets.find = d->FindForm;
    targets.setAllCustomLabel = [this](const QString &label) { AllCustomLabel = label; };
    return targets;
}

void TMain::pgm_init()
{
    LanguageName = applyStartupLanguage(SettingsDir, languageTargets());
    const bool otherFormats = readOtherFormats(SettingsDir);
    d->M_Formats->setChecked(otherFormats);
    d->LFile->setFileMask(treeMask(otherFormats));
}

void TMain::OpenStartPath(const QString &argument)
{
    // The name keeps its bytes (see pathbytes), so it is made absolute and compared as text.
    const QString path = QDir::cleanPath(argument.startsWith(QLatin1Char('/'))
                                             ? argument
                                             : pathbytes::currentDir() + u'/' + argument);
    if (!pathbytes::exists(path)) {
        showMessage(QStringLiteral("Cannot find %1").arg(pathbytes::display(path)),
                    Prompter::Icon::Warning);
        return;
    }
    // An archive of another format that the desktop hands over is shown for this run, with the
    // option ticked to say so; the stored choice stays the user's.
    if (!d->M_Formats->isChecked() && !pathbytes::isDir(path) &&
        formats::detect(path) != formats::Format::Zip) {
        d->M_Formats->setChecked(true);
        d->LFile->setFileMask(treeMask(true));
    }
    SelectPath(path);
    if (d->LFile->path() != path)
        showMessage(QStringLiteral("%1 is not in the tree, which shows folders, archives and MP3 "
                                   "files (hidden ones with \"Show hidden files\").")
                        .arg(pathbytes::display(path)),
                    Prompter::Icon::Warning);
}

void TMain::SelectPath(const QString &path)
{
    if (pathbytes::isDir(path) || !pathbytes::exists(path)) {
        d->LFile->setPath(path);
        return;
    }
    selectFileItem(path);
}

void TMain::selectFileItem(const QString &path)
{
    // The tree locates folders; the file is then picked among the folder's entries. The
    // folder is only a step on the way, not a selection of the user's.
    const QString absolute =
        path.startsWith(QLatin1Char('/')) ? path : pathbytes::currentDir() + u'/' + path;
    const qsizetype slash = absolute.lastIndexOf(QLatin1Char('/'));
    const QString label = pathbytes::display(QStringView(absolute).sliced(slash + 1));
    {
        const QSignalBlocker quiet(d->LFile);
        d->LFile->setPath(slash == 0 ? QStringLiteral("/") : absolute.left(slash));
    }
    QTreeWidgetItem *folder = d->LFile->currentItem();
    if (!folder)
        return;
    folder->setExpanded(true);
    for (int i = 0; i < folder->childCount(); ++i) {
        if (folder->child(i)->text(0) == label) {
            d->LFile->setCurrentItem(folder->child(i));
            d->LFile->scrollToItem(folder->child(i));
            return;
        }
    }
}

void TMain::setUnsaved(bool unsaved)
{
    // The pane is read-only while it shows no file, so there is no edit without a file to save
    // it into.
    if (unsaved && ShownFile.isEmpty())
        return;
    UnsavedChanges = unsaved;
    d->B_Save->setEnabled(unsaved);
}

LookupState TMain::lookupState() const
{
    LookupState state;
    if (d->B_Auto->isChecked())
        state.down = ModeButton::Auto;
    else if (d->B_FileID->isChecked())
        state.down = ModeButton::FileId;
    else if (d->B_Readme->isChecked())
        state.down = ModeButton::Readme;
    else if (d->B_Filename->isChecked())
        state.down = ModeButton::Filename;
    else
        state.down = ModeButton::Custom;
    state.customCaption = customName();
    state.allCustomLabel = AllCustomLabel;
    // The list lives in the custom-file dialog; the menu shows it as it was at the last Close.
    state.customList = d->Custom_ext ? d->Custom_ext->entries() : QStringList();
    return state;
}

void TMain::BuildCustMenu(const QStringList &customNames)
{
    d->CustMenu->clear();
    // A name is shown as it is spelt ("&" and all); the action keeps the name itself.
    for (const QString &name : customNames)
        d->CustMenu->addAction(mnemonics::literal(name))->setData(name);
    d->CustMenu->addAction(AllCustomLabel);
    d->B_Custom->setEnabled(!customNames.isEmpty());
}

void TMain::GestCust(QAction *item)
{
    d->B_Custom->setChecked(true);
    if (item->data().isValid()) {
        d->B_Custom->setText(mnemonics::literal(item->data().toString()));
        d->B_Custom->setProperty(CustomNameProperty, item->data());
    } else {
        d->B_Custom->setText(item->text());
        d->B_Custom->setProperty(CustomNameProperty, QVariant());
    }
    GetInfo();
}

void TMain::setPaneCaption(const QString &name)
{
    // The caption names the member or file the pane shows, "&" and all; a save reads it back.
    d->Cornice->setTitle(mnemonics::literal(name));
    d->Cornice->setProperty(CustomNameProperty, name);
}

QString TMain::paneCaption() const
{
    const QVariant name = d->Cornice->property(CustomNameProperty);
    if (name.isValid() && mnemonics::literal(name.toString()) == d->Cornice->title())
        return name.toString();
    return d->Cornice->title();
}

QString TMain::customName() const
{
    // The button shows a custom name literally; a caption given since (a language's "all
    // custom files") is read as it stands.
    const QVariant name = d->B_Custom->property(CustomNameProperty);
    if (name.isValid() && mnemonics::literal(name.toString()) == d->B_Custom->text())
        return name.toString();
    return d->B_Custom->text();
}

void TMain::GetInfo()
{
    const QString path = d->LFile->path();
    if (path.isEmpty())
        return;
    // A folder leaves the pane with the file it shows, edits and all.
    if (pathbytes::isDir(path)) {
        d->B_Unzip->setEnabled(false);
        return;
    }
    if (!LeaveUnsavedChanges(path))
        return;
    const bool mp3 = path.right(3).toUpper() == QLatin1String("MP3");
    try {
        if (mp3) {
            // An MP3 file holds nothing to extract.
            d->B_Unzip->setEnabled(false);
            showTagPane(true);
            ViewMP3();
        } else {
            showTagPane(false);
            d->B_Unzip->setEnabled(true);
            ViewInfo(path);
        }
    } catch (const FileError &error) {
        // What the pane holds now belongs to no file it could be saved into.
        if (ShownFile != path)
            forgetShownFile();
        if (!mp3)
            throw;
        showTopLevelError(error.message());
    }
}

void TMain::forgetShownFile()
{
    ShownFile.clear();
    d->DIZEdit->setReadOnly(true);
    d->MP3panel->setEnabled(false);
    setUnsaved(false);
}

void TMain::ViewInfo(const QString &archivePath)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    LookupResult result;
    try {
        const LookupPlan plan = lookup::plan(lookupState(), archivePath);
        result = ::ViewInfo(archivePath, plan);
        fallBackToComment(archivePath, plan, result);
    } catch (...) {
        QApplication::restoreOverrideCursor();
        throw;
    }
    d->paneArchive = archivePath;
    showDescription(result);
    ShownFile = archivePath;
    QApplication::restoreOverrideCursor();
}

void TMain::showDescription(const LookupResult &result)
{
    // A description larger than the pane loads is shown in part and cannot be saved back,
    // which would cut it off; so is one in an archive that Quoril reads but does not write
    // (the pane makes the editor read-only then).
    d->pane->show(d->paneArchive, result,
                  result.fromComment ? result.bytes : archiveComment(d->paneArchive));
    d->DIZEdit->setToolTip(
        result.truncated
            ? QStringLiteral("This description is larger than %1 MiB: only its beginning is "
                             "shown, and it cannot be edited here.")
                  .arg(DescriptionLimit / (1024 * 1024))
            : result.readOnlyReason);
    d->B_Save->setToolTip(result.readOnlyReason);
    setPaneCaption(result.caption);
}

bool TMain::LeaveUnsavedChanges(const QString &next)
{
    if (!UnsavedChanges || next == ShownFile)
        return true;
    if (askYesNo(QStringLiteral("Save the changes ?")) && !SaveCurrent()) {
        selectQuietly(ShownFile);
        CurrentFile = ShownFile;
        return false;
    }
    setUnsaved(false);
    return true;
}

void TMain::selectQuietly(const QString &path)
{
    const QSignalBlocker quiet(d->LFile);
    // The file may be gone meanwhile; its item still stands for it until the tree is read anew.
    if (pathbytes::isDir(path))
        d->LFile->setPath(path);
    else
        selectFileItem(path);
}

bool TMain::deferWhileEngineBusy(void (TMain::*handler)())
{
    // A long extraction or packing handles events while it shows its progress; a selection
    // made meanwhile is handled once the engine is free.
    if (!ZipEngine::isBusy())
        return false;
    QTimer::singleShot(100, this, handler);
    return true;
}

void TMain::LFileChange()
{
    if (deferWhileEngineBusy(&TMain::LFileChange))
        return;
    CurrentFile = d->LFile->path();
    if (d->B_autoview->isChecked())
        GetInfo();
}

void TMain::LFileDblClick()
{
    if (deferWhileEngineBusy(&TMain::LFileDblClick))
        return;
    CurrentFile = d->LFile->path();
    if (!d->B_autoview->isChecked())
        GetInfo();
}

void TMain::B_viewClick()
{
    d->B_autoview->setChecked(false);
    GetInfo();
}

// The tag pane lies over the description editor; the editor is put away meanwhile, so that it
// neither shows through nor takes the keyboard.
void TMain::showTagPane(bool show)
{
    d->MP3panel->setVisible(show);
    d->DIZEdit->setVisible(!show);
    d->pane->setVisible(!show);
    if (show)
        d->MP3panel->raise();
}

// Whether the pane shows the tag, also while the window itself is hidden in the tray.
bool TMain::tagPaneShown() const
{
    return !d->MP3panel->isHidden();
}

void TMain::ViewMP3()
{
    const QString path = d->LFile->path();
    setPaneCaption(
        pathbytes::display(QStringView(path).sliced(path.lastIndexOf(QLatin1Char('/')) + 1)));
    CurrentFile = path;
    d->IDMP.setFileName(path);
    // An ID3v2 tag that cannot be read (its parser module is missing) leaves the ID3v1 record
    // shown and editable; the reason is shown after it.
    std::optional<id3v2::Fields> v2;
    QString v2Problem;
    try {
        v2 = id3v2::read(path);
    } catch (const FileError &error) {
        v2Problem = error.message();
    }
    d->MP3panel->view(d->IDMP, v2);
    d->MP3panel->setEnabled(true);
    ShownFile = path;
    if (!v2Problem.isEmpty())
        throw FileError(v2Problem);
}

void TMain::IDTagWrite(const QString &path)
{
    d->IDMP.setFileName(path);
    d->MP3panel->assignTo(d->IDMP);
    d->IDMP.WriteTag();
    d->MP3panel->written(d->IDMP);
}

bool TMain::SaveCurrent()
{
    // A file error ends the save here: it is shown, and the caller keeps the edits marked as
    // unsaved and stops, so nothing is lost. It is caught here rather than at the top level
    // because a close or a selection change must not be left half done.
    try {
        if (ShownFile.isEmpty())
            return true;
        if (tagPaneShown()) {
            IDTagWrite(ShownFile);
            return true;
        }
        return Embed(ShownFile, paneCaption());
    } catch (const FileError &error) {
        showTopLevelError(error.message());
        return false;
    }
}

bool TMain::Embed(const QString &archivePath, const QString &memberName)
{
    if (d->DIZEdit->isReadOnly() && !d->pane->showingComment()) {
        showMessage(QStringLiteral("This description is only partly shown and cannot be "
                                   "saved back."),
                    Prompter::Icon::Critical);
        return false;
    }
    const dostext::Encoded encoded = d->pane->bytesToSave(d->DIZEdit->document()->toRawText());
    if (!encoded.unencodable.isEmpty()) {
        showMessage(QStringLiteral("The description holds characters that its code page (%1) "
                                   "cannot store: %2\nReplace them, then save again.")
                        .arg(dostext::codePageName(d->pane->codePage()), encoded.unencodable),
                    Prompter::Icon::Critical);
        return false;
    }
    buildWorkWindows(); // the options dialog holds the compression level
    const QString levelText = d->levelText ? d->levelText() : QString();
    const char level = levelCharacter(levelText);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    SaveOutcome outcome;
    try {
        outcome = ::Embed(archivePath, memberName, encoded.bytes, level);
    } catch (...) {
        QApplication::restoreOverrideCursor();
        throw;
    }
    QApplication::restoreOverrideCursor();
    if (!outcome.ok) {
        showMessage(outcome.message, Prompter::Icon::Critical);
        return false;
    }
    if (archivePath == d->paneArchive)
        d->pane->saved(encoded.bytes);
    return true;
}

void TMain::B_SaveClick()
{
    if (SaveCurrent())
        setUnsaved(false);
}

bool TMain::confirmExit()
{
    if (UnsavedChanges && askYesNo(QStringLiteral("Save the changes before exit?")) &&
        !SaveCurrent())
        return false;
    return true;
}

void TMain::Exit1Click()
{
    close();
}

void TMain::closeEvent(QCloseEvent *event)
{
    // A save that fails keeps the program open, so the edits are not lost.
    if (!d->exitConfirmed && !confirmExit()) {
        event->ignore();
        return;
    }
    d->exitConfirmed = true;
    event->accept();
    QApplication::quit();
}

bool TMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == this && event->type() == QEvent::Paint && d->buildAfterFrame) {
        d->buildAfterFrame = false;
        removeEventFilter(this);
        QTimer::singleShot(0, this, [this] { buildWorkWindows(); });
    }
    if (watched == d->DIZEdit && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (!d->DIZEdit->isReadOnly() && isEditKey(key->key(), key->modifiers()))
            setUnsaved(true);
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMain::M_WWClick()
{
    const bool wrap = d->DIZEdit->lineWrapMode() == QPlainTextEdit::NoWrap;
    d->DIZEdit->setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    d->M_WW->setChecked(wrap);
}

void TMain::M_FontClick()
{
    TFontDialog dialog(this);
    // The first time the dialog offers the DOS font in blue; afterwards the last choice.
    if (d->fontChosen)
        dialog.setChoice(d->editorFont, d->editorColor);
    else
        dialog.setChoice(dosFont(), Qt::blue);
    if (dialog.exec() != QDialog::Accepted)
        return;
    d->fontChosen = true;
    d->editorFont = dialog.chosenFont();
    d->editorColor = dialog.chosenColor();
    d->DIZEdit->setFont(d->editorFont);
    if (d->treeTips)
        d->treeTips->setTextFont(d->editorFont);
    QPalette palette = d->DIZEdit->palette();
    palette.setColor(QPalette::Text, d->editorColor);
    d->DIZEdit->setPalette(palette);
    d->pane->fontChanged();
}

void TMain::Hiddenfiles1Click()
{
    const bool show = d->Hiddenfiles1->isChecked();
    TShellTree::Options options = TShellTree::TF_FOLDERS | TShellTree::TF_NONFOLDERS;
    if (show)
        options |= TShellTree::TF_HIDDEN;
    d->LFile->setOptions(options);
    if (auto *fileManager = findChild<TShellTree *>(QStringLiteral("LFileMgr")))
        fileManager->setOptions(options);
}

void TMain::M_FormatsClick()
{
    const bool on = d->M_Formats->isChecked();
    d->LFile->setFileMask(treeMask(on));
    writeOtherFormats(SettingsDir, on);
}

void TMain::B_UnzipClick()
{
    buildWorkWindows();
    if (!d->FrmUnzip)
        return;
    // Pressed again while the dialog is open, it comes to the front as it is: the folder and
    // options the user chose stay.
    d->FrmUnzip->show();
    d->FrmUnzip->raise();
    d->FrmUnzip->activateWindow();
}
