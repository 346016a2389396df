// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/version.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString BinDir = QStringLiteral(QUORIL_BIN_DIR);
const QString SourceDir = QStringLiteral(QUORIL_SOURCE_DIR);
const QString MadeDir = QStringLiteral(QUORIL_MADE_DIR);
const QString Completion = SourceDir + QStringLiteral("/resources/completion/quoril-cli");
const QString BashCompletion = QStringLiteral("/usr/share/bash-completion/bash_completion");

struct Result
{
    int code = -1;
    QString out;
    QString err;
};

// Runs a program with extra environment variables (an empty value removes one).
Result run(const QString &program, const QStringList &args, const QMap<QString, QString> &env = {},
           const QString &workingDir = QString())
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (auto it = env.begin(); it != env.end(); ++it) {
        if (it.value().isEmpty())
            environment.remove(it.key());
        else
            environment.insert(it.key(), it.value());
    }
    process.setProcessEnvironment(environment);
    if (!workingDir.isEmpty())
        process.setWorkingDirectory(workingDir);
    process.start(program, args);
    Result result;
    if (!process.waitForStarted(30000) || !process.waitForFinished(300000)) {
        result.err = QStringLiteral("%1 did not run: %2").arg(program, process.errorString());
        return result;
    }
    result.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

// Fails when a tool from a Debian package is missing, naming the package.
bool haveTool(const QString &tool, const char *package)
{
    if (!QStandardPaths::findExecutable(tool).isEmpty() || QFileInfo::exists(tool))
        return true;
    qWarning("%s is missing: install the Debian package %s", qPrintable(tool), package);
    return false;
}

QString readText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qWarning("cannot read %s", qPrintable(path));
    return QString::fromUtf8(file.readAll());
}

// What a --help text or a manual page documents: options outside any command, each command
// with its options, and the exit codes.
struct Documented
{
    QSet<QString> options;
    QMap<QString, QSet<QString>> commands;
    QSet<QString> exitCodes;
};

QSet<QString> optionsIn(const QString &text)
{
    static const QRegularExpression option(QStringLiteral("(?<![\\w-])(--?[A-Za-z][A-Za-z-]*)"));
    QSet<QString> found;
    for (const auto &match : option.globalMatch(text))
        found.insert(match.captured(1));
    return found;
}

// "tag set FILE [--title T]" names the command "tag set".
QString commandName(const QString &text)
{
    static const QRegularExpression words(QStringLiteral("^[a-z][a-z-]*(?: [a-z][a-z-]*)*(?= |$)"));
    return words.match(text.trimmed()).captured();
}

Documented fromHelp(const QString &help)
{
    Documented d;
    QString section, command;
    static const QRegularExpression commandLine(QStringLiteral("^  [a-z]"));
    for (const QString &line : help.split(QLatin1Char('\n'))) {
        if (!line.isEmpty() && !line.startsWith(QLatin1Char(' '))) {
            section = line;
            command.clear();
            continue;
        }
        if (section.startsWith(QLatin1String("Commands:"))) {
            if (commandLine.match(line).hasMatch())
                command = commandName(line);
            if (!command.isEmpty())
                d.commands[command] += optionsIn(line);
        } else if (section.startsWith(QLatin1String("Options:"))) {
            d.options += optionsIn(line);
        }
    }
    static const QRegularExpression paragraph(QStringLiteral("Exit codes:(.*?)(?:\\n\\n|$)"),
                                              QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression code(QStringLiteral("(?:^|[:;])\\s*(\\d+)\\s"));
    for (const auto &match : code.globalMatch(QLatin1Char(':') + paragraph.match(help).captured(1)))
        d.exitCodes.insert(match.captured(1));
    return d;
}

// The text a roff line shows, without macro names, font changes and quotes.
QString plainRoff(QString line)
{
    static const QRegularExpression macro(QStringLiteral("^\\.[A-Za-z]+\\s*"));
    static const QRegularExpression font(QStringLiteral("\\\\f[BIRP]"));
    static const QRegularExpression special(QStringLiteral("\\\\\\(..|\\\\&"));
    line.remove(macro).remove(font).remove(special);
    line.replace(QLatin1String("\\-"), QLatin1String("-"));
    line.remove(QLatin1Char('"'));
    return line;
}

Documented fromManPage(const QString &roff)
{
    Documented d;
    QString section, command;
    static const QRegularExpression digits(QStringLiteral("^\\d+$"));
    for (const QString &line : roff.split(QLatin1Char('\n'))) {
        const QString plain = plainRoff(line);
        if (line.startsWith(QLatin1String(".SH"))) {
            section = plain.trimmed();
            command.clear();
        } else if (section == QLatin1String("COMMANDS")) {
            if (line.startsWith(QLatin1String(".SS")))
                command = commandName(plain);
            if (!command.isEmpty())
                d.commands[command] += optionsIn(plain);
        } else if (section == QLatin1String("OPTIONS")) {
            d.options += optionsIn(plain);
        } else if (section == QLatin1String("EXIT STATUS") && digits.match(plain).hasMatch()) {
            d.exitCodes.insert(plain);
        }
    }
    return d;
}

QStringList sorted(const QSet<QString> &set)
{
    QStringList list(set.begin(), set.end());
    list.sort();
    return list;
}

} // namespace

// The desktop files, manual pages, shell completion and installed layout, checked with the
// tools that the desktop itself uses.
class TestDesktop : public QObject
{
    Q_OBJECT

private slots:
    void desktopEntryOpensArchivesAndMp3Files();
    void metadataValidates();
    void manualPagesMatchHelp_data();
    void manualPagesMatchHelp();
    void versionsComeFromTheBuild();
    void completion_data();
    void completion();
    void installPutsFilesWhereTheDesktopFindsThem();

private:
    QTemporaryDir files;
};

void TestDesktop::desktopEntryOpensArchivesAndMp3Files()
{
    QVERIFY(haveTool(QStringLiteral("desktop-file-validate"), "desktop-file-utils"));
    const QString entry = SourceDir + QStringLiteral("/resources/quoril.desktop");
    const Result check = run(QStringLiteral("desktop-file-validate"), {entry});
    QVERIFY2(check.code == 0 && check.out.isEmpty(), qPrintable(check.out + check.err));
    const QString text = readText(entry);
    // The file manager passes one file in place of %f; the program selects and shows it.
    QVERIFY(text.contains(QLatin1String("\nExec=quoril %f\n")));
    QVERIFY(text.contains(QLatin1String("\nMimeType=application/zip;audio/mpeg;application/x-lha;application/x-arj;application/vnd.rar;application/x-7z-compressed;application/x-arc;application/x-zoo;application/vnd.ms-cab-compressed;\n")));
}

void TestDesktop::metadataValidates()
{
    QVERIFY(haveTool(QStringLiteral("appstreamcli"), "appstream"));
    const Result check =
        run(QStringLiteral("appstreamcli"), {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                             MadeDir + QStringLiteral("/quoril.metainfo.xml")});
    QVERIFY2(check.code == 0, qPrintable(check.out + check.err));
}

void TestDesktop::manualPagesMatchHelp_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("quoril") << QStringLiteral("quoril");
    QTest::newRow("quoril-cli") << QStringLiteral("quoril-cli");
}

// Every command, option and exit code that --help prints has its place in the manual page, and
// the page documents nothing that --help does not know.
void TestDesktop::manualPagesMatchHelp()
{
    QFETCH(QString, program);
    const Result help = run(BinDir + QLatin1Char('/') + program, {QStringLiteral("--help")});
    QCOMPARE(help.code, 0);
    const Documented printed = fromHelp(help.out);
    const Documented page = fromManPage(readText(MadeDir + QLatin1Char('/') + program + ".1"));
    QVERIFY(printed.options.contains(QStringLiteral("--version")));
    QVERIFY(!printed.exitCodes.isEmpty());
    QCOMPARE(sorted(page.options), sorted(printed.options));
    QCOMPARE(page.commands.keys(), printed.commands.keys());
    for (auto it = printed.commands.begin(); it != printed.commands.end(); ++it) {
        const QStringList inPage = sorted(page.commands.value(it.key()));
        QVERIFY2(inPage == sorted(it.value()),
                 qPrintable(QStringLiteral("%1: the page has %2, --help has %3")
                                .arg(it.key(), inPage.join(QLatin1Char(' ')),
                                     sorted(it.value()).join(QLatin1Char(' ')))));
    }
    QCOMPARE(sorted(page.exitCodes), sorted(printed.exitCodes));
}

void TestDesktop::versionsComeFromTheBuild()
{
    // No display: --version and --help must not need one.
    const QMap<QString, QString> noDisplay{{QStringLiteral("QT_QPA_PLATFORM"), QString()},
                                           {QStringLiteral("DISPLAY"), QString()},
                                           {QStringLiteral("WAYLAND_DISPLAY"), QString()}};
    for (const QString &program : {QStringLiteral("quoril"), QStringLiteral("quoril-cli")}) {
        const Result version =
            run(BinDir + QLatin1Char('/') + program, {QStringLiteral("--version")}, noDisplay);
        QCOMPARE(version.code, 0);
        QCOMPARE(version.out, program + QStringLiteral(" " QUORIL_VERSION "\n"));
        QVERIFY(readText(MadeDir + QLatin1Char('/') + program + ".1")
                    .contains(QStringLiteral("\"Quoril " QUORIL_VERSION "\"")));
    }
    QCOMPARE(run(BinDir + QStringLiteral("/quoril"), {QStringLiteral("--help")}, noDisplay).code,
             0);
    QVERIFY(readText(MadeDir + QStringLiteral("/quoril.metainfo.xml"))
                .contains(QStringLiteral("<release version=\"" QUORIL_VERSION "\"")));
}

void TestDesktop::completion_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("withBashCompletion");

    const QStringList archives{"B.ZIP", "a.zip", "sub"};
    const struct
    {
        const char *name;
        const char *line;
        QStringList expected;
    } rows[] = {
        {"command", "quoril-cli de", {"describe"}},
        {"global option", "quoril-cli --v", {"--version"}},
        {"second command word", "quoril-cli tag s", {"set", "show"}},
        {"command option", "quoril-cli describe --m", {"--mode"}},
        {"option named twice, offered once", "quoril-cli describe --na", {"--name"}},
        {"code page options", "quoril-cli list --n", {"--names-codepage"}},
        {"option of a two-word command", "quoril-cli tag set song.MP3 --g", {"--genre"}},
        {"mode value", "quoril-cli describe --mode a", {"all-custom", "auto"}},
        {"level value",
         "quoril-cli pack --level ",
         {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}},
        {"values listed by --help", "quoril-cli catalog --format j", {"json"}},
        {"path after a listed value", "quoril-cli catalog --format csv s", {"song.MP3", "sub"}},
        {"archives", "quoril-cli describe ", archives},
        {"archive after an option value", "quoril-cli save-description --level 5 ", archives},
        {"no file for the member name", "quoril-cli save-description a.zip ", {}},
        {"mp3 files", "quoril-cli tag show ", {"song.MP3", "sub"}},
        {"target folder", "quoril-cli extract --paths a.zip ", {"sub"}},
        {"files to pack",
         "quoril-cli pack new.zip ",
         {"B.ZIP", "a.zip", "c.txt", "song.MP3", "sub"}},
    };
    for (bool withBashCompletion : {false, true}) {
        for (const auto &row : rows)
            QTest::addRow("%s%s", row.name, withBashCompletion ? " (bash-completion)" : "")
                << QString::fromLatin1(row.line) << row.expected << withBashCompletion;
    }
}

// The completion works on its own and inside bash-completion, whose file helpers it then uses.
void TestDesktop::completion()
{
    QFETCH(QString, line);
    QFETCH(QStringList, expected);
    QFETCH(bool, withBashCompletion);
    if (withBashCompletion)
        QVERIFY(haveTool(BashCompletion, "bash-completion"));
    QDir folder(files.path());
    if (!folder.exists(QStringLiteral("sub"))) {
        folder.mkdir(QStringLiteral("sub"));
        for (const char *name : {"a.zip", "B.ZIP", "c.txt", "song.MP3"})
            QFile(folder.filePath(QLatin1String(name))).open(QIODevice::WriteOnly);
    }
    const QString script = QStringLiteral("[ -n \"$WITH_BC\" ] && source %1\n"
                                          "source \"$SCRIPT\"\n"
                                          "read -ra COMP_WORDS <<<\"$LINE\"\n"
                                          "[[ $LINE == *' ' ]] && COMP_WORDS+=('')\n"
                                          "COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMP_LINE=$LINE "
                                          "COMP_POINT=${#LINE}\n"
                                          "_quoril_cli quoril-cli \"${COMP_WORDS[COMP_CWORD]}\" "
                                          "\"${COMP_WORDS[COMP_CWORD-1]}\"\n"
                                          "printf '%s\\n' \"${COMPREPLY[@]}\" | sort\n")
                               .arg(BashCompletion);
    const Result result =
        run(QStringLiteral("bash"), {QStringLiteral("--norc"), QStringLiteral("-c"), script},
            {{QStringLiteral("SCRIPT"), Completion},
             {QStringLiteral("LINE"), line},
             {QStringLiteral("WITH_BC"), withBashCompletion ? QStringLiteral("1") : QString()},
             {QStringLiteral("LC_ALL"), QStringLiteral("C")},
             {QStringLiteral("PATH"), BinDir + QLatin1Char(':') + qEnvironmentVariable("PATH")}},
            files.path());
    QCOMPARE(result.code, 0);
    QStringList replies = result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(replies, expected);
}

void TestDesktop::installPutsFilesWhereTheDesktopFindsThem()
{
    QTemporaryDir prefix;
    // Naming the (only) component writes install_manifest_Unspecified.txt, so the manifest of
    // the user's own install, which the uninstall target reads, stays as it is.
    const Result install = run(QStringLiteral(QUORIL_CMAKE),
                               {QStringLiteral("--install"), QStringLiteral(QUORIL_BUILD_DIR),
                                QStringLiteral("--component"), QStringLiteral("Unspecified"),
                                QStringLiteral("--prefix"), prefix.path()});
    QVERIFY2(install.code == 0, qPrintable(install.out + install.err));
    for (const char *path :
         {"bin/quoril", "bin/quoril-cli", "share/man/man1/quoril.1", "share/man/man1/quoril-cli.1",
          "share/applications/quoril.desktop", "share/metainfo/quoril.metainfo.xml",
          "share/bash-completion/completions/quoril-cli",
          "share/icons/hicolor/scalable/apps/quoril.svg"})
        QVERIFY2(QFileInfo::exists(prefix.filePath(QLatin1String(path))), path);

    // bash-completion finds the script on its own, through XDG_DATA_DIRS.
    QVERIFY(haveTool(BashCompletion, "bash-completion"));
    const Result loaded =
        run(QStringLiteral("bash"),
            {QStringLiteral("--norc"), QStringLiteral("-c"),
             QStringLiteral("source %1; __load_completion quoril-cli && complete -p quoril-cli")
                 .arg(BashCompletion)},
            {{QStringLiteral("XDG_DATA_DIRS"), prefix.filePath(QStringLiteral("share"))}});
    QCOMPARE(loaded.out.trimmed(), QStringLiteral("complete -F _quoril_cli quoril-cli"));

    // The launcher starts the installed program in the user's folder; a relative path given to
    // it still means the folder it was called from.
    QTemporaryDir home, here;
    const Result shot = run(prefix.filePath(QStringLiteral("bin/quoril")),
                            {QStringLiteral("--screenshot"), QStringLiteral("shot.png")},
                            {{QStringLiteral("XDG_CONFIG_HOME"), home.path()}}, here.path());
    QCOMPARE(shot.code, 0);
    QVERIFY(QFileInfo::exists(here.filePath(QStringLiteral("shot.png"))));
    QVERIFY(QFileInfo::exists(home.filePath(QStringLiteral("quoril/ENGLISH.QLG"))));

    // Uninstalling leaves nothing behind, the link to quoril-cli included.
    const Result uninstall =
        run(QStringLiteral(QUORIL_CMAKE),
            {QStringLiteral("-DMANIFEST=" QUORIL_BUILD_DIR "/install_manifest_Unspecified.txt"),
             QStringLiteral("-P"), SourceDir + QStringLiteral("/cmake/QuorilUninstall.cmake")});
    QVERIFY2(uninstall.code == 0, qPrintable(uninstall.err));
    QDirIterator left(prefix.path(),
                      QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                      QDirIterator::Subdirectories);
    while (left.hasNext()) {
        const QFileInfo entry(left.next());
        QVERIFY2(entry.isDir() && !entry.isSymLink() && !entry.fileName().contains("quoril"),
                 qPrintable(entry.filePath()));
    }
}

QTEST_GUILESS_MAIN(TestDesktop)
#include "tst_desktop.moc"
