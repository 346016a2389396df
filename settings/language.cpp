// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/language.h"

#include "common/fileerror.h"
#include "settings/profile.h"

namespace {

using W = LanguageWindow;

const LanguageKey Keys[] = {
    {"Buttons", "view", W::Main, "B_view", "View"},
    {"Buttons", "filename", W::Main, "B_Filename", "<filename>.txt"},
    {"Buttons", "extract", W::Main, "B_Unzip", "Extract..."},
    {"Buttons", "save info", W::Main, "B_Save", "Save info"},
    {"Buttons", "auto", W::Main, "B_Auto", "Auto select"},
    {"Buttons", "autoview", W::Main, "B_autoview", "Auto view"},
    {"Buttons", "readme", W::Main, "B_Readme", "readme.txt"},
    {"Buttons", "custom", W::Main, "B_Custom", "all custom files"},

    {"Menu", "0", W::Main, "File1", "File"},
    {"Menu", "00", W::Main, "Exit1", "Exit"},
    {"Menu", "1", W::Main, "Options1", "Options"},
    {"Menu", "10", W::Main, "M_Font", "Font..."},
    {"Menu", "11", W::Main, "M_WW", "Word wrap"},
    {"Menu", "12", W::Main, "Hiddenfiles1", "Show hidden files"},
    {"Menu", "13", W::Main, "Customfile1", "Custom file..."},
    {"Menu", "14", W::Main, "Changelanguage1", "Change language..."},
    {"Menu", "2", W::Main, "Help1", "Help"},
    {"Menu", "20", W::Main, "ManagingZIPfiles1", "Using Quoril"},
    {"Menu", "21", W::Main, "About1", "About..."},

    {"Tabs", "Diz", W::Main, "DIZPage", "Info ZIP files"},
    {"Tabs", "Zip", W::Main, "PackPage", "Easy zip packer"},

    {"Packer", "Lstep1", W::Main, "Lstep1", "Step 1:"},
    {"Packer", "Lstep2", W::Main, "Lstep2", "Step 2:"},
    {"Packer", "Lstep3", W::Main, "Lstep3", "Step 3:"},
    {"Packer", "Ldrag", W::Main, "Ldrag", "Drag from here files to be zipped..."},
    {"Packer", "Ldrop", W::Main, "Ldrop", "... and drop here"},
    {"Packer", "Saveto", W::Main, "btnSaveTo", "Choose zip file name..."},
    {"Packer", "Options", W::Main, "B_ZipOpt", "Options..."},

    {"Zip options", "MTitle", W::ZipOptions, "", "Zip engine options"},
    {"Zip options", "Title", W::ZipOptions, "GroupBox2", "(in blue most commons)"},
    {"Zip options", "1", W::ZipOptions, "chSystem", "Include system and hidden files"},
    {"Zip options", "2", W::ZipOptions, "chVolume", "Include volume label"},
    {"Zip options", "3", W::ZipOptions, "chJunkDir", "Do not add path"},
    {"Zip options", "4", W::ZipOptions, "chRecurseDir", "Recurse file in subdirectory"},
    {"Zip options", "5", W::ZipOptions, "chLatestTime", "Set zip file time as latest file in it"},
    {"Zip options", "6", W::ZipOptions, "Label2", "Compression level (0 - 9)"},
    {"Zip options", "7", W::ZipOptions, "chGrow", "Allow appending to an existing zip file"},
    {"Zip options", "8", W::ZipOptions, "chMove", "Delete files added or updated in zip file"},
    {"Zip options", "9", W::ZipOptions, "chDeleteEntries", "Delete files from zip file"},
    {"Zip options", "10", W::ZipOptions, "chUpdate", "Update zip file--overwrite only if newer"},
    {"Zip options", "11", W::ZipOptions, "chFreshen", "Freshen zip file--overwrite only"},
    {"Zip options", "ZipDefault", W::ZipOptions, "B_ZipDefault", "Reset to default"},
    {"Zip options", "Save", W::ZipOptions, "B_SetZipOpt", "Save options and close"},
    {"Zip options", "Close", W::ZipOptions, "B_Close", "Close without saving"},

    {"Unpacker", "Title", W::Unzip, "", "Decompressing"},
    {"Unpacker", "Label1", W::Unzip, "Label2", "Size(bytes)"},
    {"Unpacker", "Label2", W::Unzip, "Label3", "Date / Hour"},
    {"Unpacker", "Label3", W::Unzip, "Label4", "Filename"},
    {"Unpacker", "PathTo", W::Unzip, "Label1", "Decompress to:"},
    {"Unpacker", "Unzip_all", W::Unzip, "R_all", "Unzip all"},
    {"Unpacker", "Unzip_par", W::Unzip, "R_sel", "Unzip only selected"},
    {"Unpacker", "But_canc", W::Unzip, "B_Abort", "Cancel"},
    {"Unpacker", "Extract", W::Unzip, "Label5", "Extract to directory:"},
    {"Unpacker", "ZOptions", W::Unzip, "B_Options", "Options"},
    {"Unpacker", "Opt_title", W::Unzip, "GroupBox1", "Engine options (in blue most commons)"},
    {"Unpacker", "1", W::Unzip, "chExtractOnlyNewer", "extract only newer files"},
    {"Unpacker", "2", W::Unzip, "chUFlag", "extract only newer/new files"},
    {"Unpacker", "3", W::Unzip, "chOFlag", "always overwrite files"},
    {"Unpacker", "4", W::Unzip, "chC_flag", "case insensitive"},
    {"Unpacker", "5", W::Unzip, "chDFlag", "extract with path"},

    {"Custom files", "Title", W::CustomExt, "", "Custom file setup"},
    {"Custom files", "BoxRight", W::CustomExt, "Label1", "File(s) to search:"},
    {"Custom files", "LabelUp", W::CustomExt, "Label2",
     "Insert custom file name in the box to the left\nand press \"Add\" button: for example,\n"
     "file.nfo  or  <filename>.txt\n(where <filename> will be added automatically)\n"
     "or readme.nfo, or any file name you prefer."},
    {"Custom files", "Butt_add", W::CustomExt, "B_Add", "&Add>>"},
    {"Custom files", "Butt_rem", W::CustomExt, "B_Remove", "<<Remove"},
    {"Custom files", "LabelBott", W::CustomExt, "Label3",
     "To remove an item, highlight it in the right box and press \"Remove\";\n"
     "To save your preferences for the next sessions press the apposite button."},
    {"Custom files", "Butt_save", W::CustomExt, "B_saveprefs", "Save settings"},
    {"Custom files", "Butt_close", W::CustomExt, "B_OK", "Close"},

    {"Lang setup", "Title", W::LangForm, "", "Customize language"},
    {"Lang setup", "LabelTop", W::LangForm, "Label1", "Please select your favourite language:"},
    {"Lang setup", "LabelBott", W::LangForm, "Label2",
     "NOTE: you can create your own version by adding a new QLG file (=QuorilLanguage)  in the "
     "program directory, using DEFAULT.QLG as a template. Afterwards, if you send me your custom "
     "file, I will include it (with your name) in the future releases of Quoril."},
    {"Lang setup", "Default", W::LangForm, "B_Def", "Set as default"},
    {"Lang setup", "Canc", W::LangForm, "B_cancel", "Cancel"},
    {"Lang setup", "OK", W::LangForm, "B_OK", "OK"},

    // Added later: a language file without this section keeps these texts in English.
    {"Find", "Menu", W::Main, "M_Find", "Find in descriptions..."},
    {"Find", "Title", W::Find, "", "Find in descriptions"},
    {"Find", "Query", W::Find, "L_Query", "Find:"},
    {"Find", "LookIn", W::Find, "L_LookIn", "Look in:"},
    {"Find", "Subfolders", W::Find, "chSubfolders", "Include subfolders"},
    {"Find", "Cancel", W::Find, "B_Cancel", "Cancel"},
    {"Find", "Close", W::Find, "B_Close", "Close"},
    {"Find", "File", W::Find, "captionFile", "File"},
    {"Find", "Folder", W::Find, "captionFolder", "Folder"},
    {"Find", "Line", W::Find, "captionLine", "Line"},
    {"Find", "Reading", W::Find, "textReading", "Reading %1 of %2 files..."},
    {"Find", "ReadingOne", W::Find, "textReadingOne", "Reading %1 of 1 file..."},
    {"Find", "Found", W::Find, "textFound", "%1 files found"},
    {"Find", "FoundOne", W::Find, "textFoundOne", "1 file found"},
    {"Find", "Cancelled", W::Find, "textCancelled",
     "Reading was cancelled: the results are incomplete."},
    {"Find", "None", W::Find, "textNone", "No file matches."},
    {"Find", "Limited", W::Find, "textLimited", "The best %1 files are shown."},
    {"Unpacker", "NamesPage", W::Unzip, "L_NamesCodePage", "&Names code page:"},
    {"Description", "CodePage", W::Main, "L_CodePage", "&Code page:"},
    {"Description", "Colours", W::Main, "B_Rendered", "Colours"},
    {"Description", "Comment", W::Main, "B_Comment", "Archive comment"},
};

static_assert(std::size(Keys) == 95, "a language file has 95 keys");

} // namespace

std::span<const LanguageKey> languageKeys()
{
    return Keys;
}

QStringList readLanguageTexts(const QString &path)
{
    Profile profile(QString{});
    try {
        profile = Profile(path);
    } catch (const FileError &) {
        // A file too large to be a language file gives the built-in texts.
    }
    QStringList texts;
    texts.reserve(std::size(Keys));
    for (const LanguageKey &row : Keys) {
        texts.append(profile.value(QString::fromLatin1(row.section), QString::fromLatin1(row.key),
                                   QString::fromUtf8(row.builtIn)));
    }
    return texts;
}

QString settingsFilePath(const QString &settingsDir)
{
    // Joined as text: the folder's name keeps its bytes (common/pathbytes.h).
    return settingsDir + QStringLiteral("/quoril.ini");
}

QString readStartupLanguage(const QString &settingsDir)
{
    return Profile(settingsFilePath(settingsDir))
        .nameValue(QStringLiteral("International"), QStringLiteral("Language"),
                   QStringLiteral("default"));
}

void writeStartupLanguage(const QString &settingsDir, const QString &name)
{
    Profile::write(settingsFilePath(settingsDir), QStringLiteral("International"),
                   QStringLiteral("Language"), name);
}

QWidget *LanguageTargets::window(LanguageWindow which) const
{
    switch (which) {
    case LanguageWindow::Main:
        return main;
    case LanguageWindow::ZipOptions:
        return zipOptions;
    case LanguageWindow::Unzip:
        return unzip;
    case LanguageWindow::CustomExt:
        return customExt;
    case LanguageWindow::LangForm:
        return langForm;
    case LanguageWindow::Find:
        return find;
    }
    return nullptr;
}
