// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/qttranslation.h"

#include "settings/profile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

namespace qttranslation {

namespace {

struct Shipped
{
    const char *file;
    const char *code;
};
constexpr Shipped ShippedLanguages[] = {{"DEUTSCH.QLG", "de"}, {"ITALIANO.QLG", "it"}};

QPointer<QTranslator> &current()
{
    static QPointer<QTranslator> translator;
    return translator;
}

QString declaredLocale(const QString &languageFile)
{
    try {
        const Profile profile(languageFile);
        return profile.value(QStringLiteral("International"), QStringLiteral("Locale"), QString())
            .trimmed();
    } catch (...) {
        return {}; // an unreadable file is reported where its texts are read
    }
}

} // namespace

QString localeOf(const QString &languageFile)
{
    const QString declared = declaredLocale(languageFile);
    if (!declared.isEmpty())
        return declared;
    const QString name = QFileInfo(languageFile).fileName();
    for (const Shipped &shipped : ShippedLanguages)
        if (name.compare(QLatin1String(shipped.file), Qt::CaseInsensitive) == 0)
            return QLatin1String(shipped.code);
    return {};
}

bool install(const QString &languageFile)
{
    if (current()) {
        QCoreApplication::removeTranslator(current());
        delete current();
    }
    const QString code = localeOf(languageFile);
    if (code.isEmpty() || code.startsWith(QLatin1String("en")))
        return false;
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_") + code,
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator; // quietly English
        return false;
    }
    QCoreApplication::installTranslator(translator);
    current() = translator;
    return true;
}

} // namespace qttranslation
