// SPDX-License-Identifier: GPL-3.0-or-later
#include "description/cp437.h"

#include "dostext/codepage.h"

namespace cp437 {

QString decode(const QByteArray &bytes)
{
    return dostext::decode(bytes, dostext::CodePage::Cp437);
}

Encoded encode(const QString &text)
{
    dostext::Encoded e = dostext::encode(text, dostext::CodePage::Cp437);
    return Encoded{std::move(e.bytes), std::move(e.unencodable)};
}

} // namespace cp437
