// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/descriptionpane.h"

#include "app/dosscreenview.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

using dostext::CodePage;

TDescriptionPane::TDescriptionPane(QGroupBox *cornice, QGridLayout *stack, QPlainTextEdit *editor,
                                   Hooks hooks)
    : QObject(cornice), m_hooks(std::move(hooks)), m_cornice(cornice), m_editor(editor)
{
    m_bar = new QWidget(cornice);
    m_bar->setObjectName(QStringLiteral("DescriptionBar"));
    auto *lines = new QVBoxLayout(m_bar);
    lines->setContentsMargins(0, 0, 0, 0);
    lines->setSpacing(1);
    auto *row = new QHBoxLayout;
    lines->addLayout(row);
    auto *label = new QLabel(QStringLiteral("&Code page:"), m_bar);
    label->setObjectName(QStringLiteral("L_CodePage"));
    m_codePage = new QComboBox(m_bar);
    m_codePage->setObjectName(QStringLiteral("CB_CodePage"));
    for (const CodePage page : dostext::allCodePages())
        m_codePage->addItem(dostext::codePageName(page), int(page));
    for (int i = 0; i < m_codePage->count(); ++i)
        m_codePage->setItemData(
            i, dostext::codePageTitle(CodePage(m_codePage->itemData(i).toInt())), Qt::ToolTipRole);
    label->setBuddy(m_codePage);
    m_rendered = new QToolButton(m_bar);
    m_rendered->setObjectName(QStringLiteral("B_Rendered"));
    m_rendered->setText(QStringLiteral("Colours"));
    m_rendered->setToolTip(QStringLiteral("Show the colour codes rendered, or the raw text to "
                                          "edit"));
    m_rendered->setCheckable(true);
    m_rendered->setChecked(true);
    m_comment = new QToolButton(m_bar);
    m_comment->setObjectName(QStringLiteral("B_Comment"));
    m_comment->setText(QStringLiteral("Archive comment"));
    m_comment->setToolTip(QStringLiteral("Archive comment"));
    m_comment->setCheckable(true);
    m_info = new QLabel(m_bar);
    m_info->setObjectName(QStringLiteral("L_DescriptionInfo"));
    m_info->setTextInteractionFlags(Qt::TextSelectableByMouse);
    row->addWidget(label);
    row->addWidget(m_codePage);
    row->addWidget(m_rendered);
    row->addWidget(m_comment);
    row->addStretch(1);
    // The SAUCE fields and where the text comes from: a small line of their own.
    lines->addWidget(m_info);
    // The bar takes the room the pane has; it never widens the window.
    m_bar->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    stack->addWidget(m_bar, 0, 0);

    m_view = new TDosScreenView(cornice);
    m_view->setObjectName(QStringLiteral("DIZScreen"));
    m_view->hide();
    stack->addWidget(m_view, 1, 0);

    connect(m_codePage, &QComboBox::currentIndexChanged, this, &TDescriptionPane::codePageChosen);
    for (QToolButton *b : {m_rendered, m_comment})
        connect(b, &QToolButton::toggled, this, [this] {
            if (m_loading)
                return;
            keepEdits();
            refresh(chosenPage());
        });
}

void TDescriptionPane::show(const QString &archivePath, const LookupResult &result,
                            const QByteArray &comment)
{
    m_archive = archivePath;
    m_result = result;
    m_commentBytes = comment;
    m_loading = true;
    m_comment->setChecked(false);
    m_comment->setEnabled(!comment.isEmpty() && !result.fromComment);
    m_loading = false;
    refresh(chosenPage());
}

std::optional<CodePage> TDescriptionPane::chosenPage() const
{
    if (!m_chosen.contains(m_archive))
        return std::nullopt;
    return m_chosen.value(m_archive);
}

// The edits go back to bytes in the code page they were read in before the pane reads the
// text anew, so that switching the view or the code page loses none of them.
void TDescriptionPane::keepEdits()
{
    if (!m_hooks.unsaved() || m_editor->isReadOnly())
        return;
    const dostext::Encoded edited = descriptionBytes(m_text, m_editor->toPlainText());
    if (edited.unencodable.isEmpty())
        m_result.bytes = edited.bytes;
}

bool TDescriptionPane::showingComment() const
{
    return m_comment->isChecked();
}

QFont TDescriptionPane::fontFor(CodePage page) const
{
    const QFont dos = m_hooks.dosFont();
    if (dostext::usesDosFont(page))
        return dos;
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (dos.pixelSize() > 0)
        fixed.setPixelSize(dos.pixelSize());
    return fixed;
}

void TDescriptionPane::refresh(std::optional<CodePage> page)
{
    if (m_loading)
        return;
    const QByteArray &bytes = showingComment() ? m_commentBytes : m_result.bytes;
    m_text = readDescription(bytes, page);
    m_loading = true;
    m_codePage->setCurrentIndex(m_codePage->findData(int(m_text.page)));
    m_loading = false;
    const QFont font = fontFor(m_text.page);
    m_editor->setFont(font);
    m_hooks.setText(m_text.raw);
    // The comment shown on request is not what a save would write: it is only to be read.
    m_editor->setReadOnly(m_result.truncated || !m_result.readOnlyReason.isEmpty() ||
                          showingComment());
    const bool colours = m_text.codes.any();
    m_rendered->setEnabled(colours);
    if (colours && m_rendered->isChecked())
        m_view->setScreen(m_text.screen(), font);
    if (!m_bar->isHidden())
        setVisible(true);
    showInfo();
}

void TDescriptionPane::codePageChosen(int index)
{
    if (m_loading || index < 0)
        return;
    const auto page = CodePage(m_codePage->itemData(index).toInt());
    m_chosen.insert(m_archive, page);
    keepEdits();
    refresh(page);
}

void TDescriptionPane::showInfo()
{
    QStringList parts;
    if (showingComment() || m_result.fromComment)
        parts << (m_result.fromComment
                      ? QStringLiteral("Archive comment (no description file in the archive)")
                      : QStringLiteral("Archive comment"));
    const dostext::Sauce &s = m_text.split.sauce;
    if (s.present) {
        QStringList fields;
        for (const QString &f : {s.title, s.author, s.group, s.date})
            if (!f.isEmpty())
                fields << f;
        parts << fields.join(QStringLiteral(" \u00b7 "));
    }
    m_info->setText(parts.join(QStringLiteral(" \u2014 ")));
    m_info->setVisible(!parts.isEmpty());
    QStringList tip;
    tip << QStringLiteral("Code page: %1 (%2)")
               .arg(dostext::codePageName(m_text.page), m_text.pageReason);
    if (s.present) {
        tip << QStringLiteral("Title: %1").arg(s.title)
            << QStringLiteral("Author: %1").arg(s.author)
            << QStringLiteral("Group: %1").arg(s.group) << QStringLiteral("Date: %1").arg(s.date);
        if (s.width)
            tip << QStringLiteral("Width: %1 columns").arg(s.width);
        tip << s.comments;
    }
    if (m_text.codes.any())
        tip << QStringLiteral("Colour codes: %1").arg(m_text.codes.names().join(u", "));
    m_info->setToolTip(tip.join(QLatin1Char('\n')));
    m_codePage->setToolTip(tip.constFirst());
}

dostext::Encoded TDescriptionPane::bytesToSave(const QString &edited) const
{
    // While the comment is shown, the description's edits wait in the bytes.
    if (showingComment())
        return dostext::Encoded{m_result.bytes, QString()};
    return descriptionBytes(m_text, edited);
}

void TDescriptionPane::setVisible(bool visible)
{
    m_bar->setVisible(visible);
    if (!visible) {
        m_view->hide();
        return;
    }
    const bool rendered = m_text.codes.any() && m_rendered->isChecked();
    m_view->setVisible(rendered);
    m_editor->setVisible(!rendered);
}

void TDescriptionPane::fontChanged()
{
    keepEdits();
    refresh(chosenPage());
}

void TDescriptionPane::saved(const QByteArray &bytes)
{
    if (showingComment())
        return;
    m_result.bytes = bytes;
    const QString reason = m_text.pageReason;
    const bool chosen = m_text.pageChosen;
    m_text = readDescription(bytes, m_text.page);
    m_text.pageReason = reason;
    m_text.pageChosen = chosen;
}
