// SPDX-License-Identifier: GPL-3.0-or-later
#include "description/text.h"

DescriptionText readDescription(const QByteArray &bytes, std::optional<dostext::CodePage> chosen)
{
    DescriptionText d;
    d.bytes = bytes;
    d.split = dostext::splitSauce(bytes);
    if (chosen) {
        d.page = *chosen;
        d.pageChosen = true;
        d.pageReason = QStringLiteral("chosen by the user");
    } else {
        const dostext::Detection found = dostext::detect(d.split.body);
        d.page = found.page;
        d.pageReason = found.reason;
    }
    d.codes = dostext::findCodes(dostext::decodeKeepingControls(d.split.body, d.page));
    d.raw = dostext::decode(d.split.body, d.page);
    return d;
}

int DescriptionText::width() const
{
    const int w = split.sauce.width;
    return w >= 40 && w <= 1000 ? w : 80;
}

dostext::Screen DescriptionText::screen() const
{
    return dostext::render(dostext::decodeKeepingControls(split.body, page), codes, width());
}

QString DescriptionText::shownText() const
{
    QString text = codes.any() ? screen().plainText() : raw;
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}

dostext::Encoded descriptionBytes(const DescriptionText &text, const QString &edited)
{
    if (edited == text.raw)
        return dostext::Encoded{text.bytes, QString()};
    dostext::Encoded e = dostext::encode(edited, text.page);
    e.bytes += text.split.trailer;
    return e;
}
