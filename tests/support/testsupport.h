// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/prompter.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace testsupport {

// Runs a program to its end; returns its exit code, with stdout in `out` when given.
// Fails the test (QFAIL-like, via qFatal-free reporting) when it cannot start.
int run(const QString &program, const QStringList &args, QByteArray *out = nullptr,
        const QString &workingDir = QString(), const QByteArray &stdinData = QByteArray(),
        QByteArray *err = nullptr);

// Runs a Python 3 snippet (zipfile and friends); returns its exit code.
int python(const QString &script, const QStringList &args = {}, QByteArray *out = nullptr);

// Makes an archive with Python's zipfile: members as (name, bytes) in order. `compress`
// chooses deflate over stored.
struct Member
{
    QString name;
    QByteArray data;
};
void makeZip(const QString &path, const QList<Member> &members, bool compress = true);

// Reads a member's bytes with Python's zipfile (an independent reader).
QByteArray readMember(const QString &archive, const QString &name);
// Member names in archive order, read with Python's zipfile.
QStringList memberNames(const QString &archive);

QByteArray readFile(const QString &path);
// Removes a folder and everything below it, whatever bytes the names hold (QTemporaryDir
// cannot remove a name that is not UTF-8).
void removeTree(const QString &path);
void writeFile(const QString &path, const QByteArray &data);

// Loads the engine from the build's bin folder; fails the test when it cannot.
bool loadEngine();

// Answers questions from a script and records every text shown.
class ScriptedPrompter : public Prompter
{
public:
    ScriptedPrompter();
    ~ScriptedPrompter() override;
    QList<bool> answers; // consumed front first; No when empty
    QStringList questions;
    QStringList messages;
    QStringList captions;
    bool askYesNo(const QString &text) override;
    void message(const QString &text, Icon icon, const QString &caption) override;

private:
    Prompter *m_previous;
};

} // namespace testsupport
