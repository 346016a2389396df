// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dostext/codepage.h"
#include "dostext/sauce.h"
#include "dostext/screen.h"

#include <QByteArray>
#include <QString>

#include <optional>

// A description's bytes as the pane reads them: the SAUCE trailer set apart, the code page
// decided (or chosen by the user), the colour codes found. Every reader of descriptions (ZIP
// members, other archive formats, the archive comment) goes through readDescription.
struct DescriptionText
{
    QByteArray bytes; // as read, trailer included
    dostext::SplitText split;
    dostext::CodePage page = dostext::CodePage::Cp437;
    QString pageReason;
    bool pageChosen = false; // the user's choice rather than the detection's
    dostext::Codes codes;
    QString raw; // the body decoded, line breaks as "\n": what the raw editor shows

    // Columns of the rendered grid: the SAUCE record's width where it gives one, else 80.
    int width() const;
    dostext::Screen screen() const;
    // The text as the pane shows it: the rendered grid's characters when the text holds
    // colour codes, the decoded body otherwise; without its final line break.
    QString shownText() const;
};

DescriptionText readDescription(const QByteArray &bytes,
                                std::optional<dostext::CodePage> chosen = std::nullopt);

// The bytes a save writes for the raw text `edited`: the bytes as read when nothing changed,
// else the text in the code page it was read in, followed by the SAUCE trailer byte for byte.
dostext::Encoded descriptionBytes(const DescriptionText &text, const QString &edited);
