// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <span>

class QWidget;

// Language files (*.QLG) replace the captions of the main window and of the dialogs. A language
// file is an INI file read through Profile; every key it lacks yields its built-in text, so
// applying a file always sets all 88 captions.

enum class LanguageWindow { Main, ZipOptions, Unzip, CustomExt, LangForm, Find };

struct LanguageKey
{
    const char *section;
    const char *key;
    LanguageWindow window;
    // objectName of the control (a widget, else a menu item of that name); empty for the
    // window's own caption; or the name of a text property of the window itself. For the
    // section "Menu" the name is informative only: menu texts are placed by position (see
    // ApplyLanguage).
    const char *control;
    // The English text; "\n" is a real line break.
    const char *builtIn;
};

// The 88 keys in the order in which they are applied.
std::span<const LanguageKey> languageKeys();

// The texts of one language file in key order: a missing file, section or key yields the
// built-in text. Throws nothing.
QStringList readLanguageTexts(const QString &path);

// "quoril.ini" in the settings folder.
QString settingsFilePath(const QString &settingsDir);

// The start-up language: [International] Language of quoril.ini, "default" when the file or
// the key is missing. The value is compared with "default" exactly; any other value, the empty
// one included, names a language file in the start-up folder.
QString readStartupLanguage(const QString &settingsDir);

// Stores the start-up language, keeping the rest of quoril.ini.
// Throws FileError("Unable to write to <path of quoril.ini>").
void writeStartupLanguage(const QString &settingsDir, const QString &name);

// The windows a language file relabels. A null window (not built yet) is skipped, as is a
// control that a window does not hold.
struct LanguageTargets
{
    QWidget *main = nullptr;
    QWidget *zipOptions = nullptr;
    QWidget *unzip = nullptr;
    QWidget *customExt = nullptr;
    QWidget *langForm = nullptr;
    QWidget *find = nullptr;
    // Receives the caption of B_Custom right after the key "custom" of "Buttons" is applied:
    // the main window's AllCustomLabel.
    std::function<void(const QString &)> setAllCustomLabel;

    QWidget *window(LanguageWindow which) const;
};

// Applies the language file at `path` to the target windows, showing the wait cursor meanwhile.
// Controls are found by objectName inside each window (without descending into other
// top-level windows). Window-caption rows set the window title; "Tabs" rows set the tab text of
// their page in the tab widget holding it. "Menu" keys are positions in the main window's menu
// bar: one digit is the index of a top-level menu, two digits the menu's index followed by the
// index of an item within its drop-down ("14": the fifth item of Options). Separators are not
// counted. A failure while applying stops there and shows "Err language file; default English";
// the texts set before it stay.
void ApplyLanguage(const QString &path, const LanguageTargets &targets);

// The start-up language step of the main window (pgm_init): reads quoril.ini of `settingsDir`;
// unless its value is "default", applies the file of that name in the current working folder;
// otherwise hands the design caption of B_Custom to setAllCustomLabel. Returns the name read
// (the main window's LanguageName).
QString applyStartupLanguage(const QString &settingsDir, const LanguageTargets &targets);
// Applies the language file `name` of the current working folder, as the start-up step does:
// for windows built after it.
void applyLanguageNamed(const QString &name, const LanguageTargets &targets);
