#include "ipv4edit.h"

#include "ipv4text.h"

#include <QLineEdit>
#include <QStringList>

QValidator::State Ipv4Validator::validate(QString &input, int &pos) const
{
    // The dot a group of three digits got already stands for the one typed.
    const QLatin1Char dot('.');
    if (pos >= 2 && pos <= input.size() && input.at(pos - 1) == dot && input.at(pos - 2) == dot)
        return Invalid;
    // Complete the text with zeros: if the result is an acceptable address,
    // the text is on the way to one.
    QStringList parts = input.split(dot);
    if (parts.size() > 4)
        return Invalid;
    for (QString &part : parts) {
        if (part.isEmpty())
            part = QStringLiteral("0");
    }
    while (parts.size() < 4)
        parts.append(QStringLiteral("0"));
    const QString completed = parts.join(dot);
    if (!isCanonicalIpv4Text(completed))
        return Invalid;
    return completed == input ? Acceptable : Intermediate;
}

Ipv4Edit::Ipv4Edit(QLineEdit *edit)
    : QObject(edit)
    , m_edit(edit)
    , m_lastText(edit->text())
{
    edit->setValidator(new Ipv4Validator(edit));
    connect(edit, &QLineEdit::textChanged, this, &Ipv4Edit::onTextChanged);
}

void Ipv4Edit::onTextChanged(const QString &text)
{
    // Only a character typed at the end completes a group: after a deletion
    // the text is left as the user made it.
    const bool typedAtEnd = text.size() == m_lastText.size() + 1 && text.startsWith(m_lastText);
    if (typedAtEnd) {
        const int afterLast = text.lastIndexOf(QLatin1Char('.')) + 1;
        if (text.count(QLatin1Char('.')) <= 2 && text.size() - afterLast == 3) {
            const QString completed = text + QLatin1Char('.');
            const bool blocked = m_edit->blockSignals(true);
            m_edit->setText(completed);
            m_edit->setCursorPosition(completed.size());
            m_edit->blockSignals(blocked);
        }
    }
    m_lastText = m_edit->text();
}
