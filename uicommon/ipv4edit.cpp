#include "ipv4edit.h"

#include <QLineEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

Ipv4Edit::Ipv4Edit(QLineEdit *edit)
    : QObject(edit)
    , m_edit(edit)
    , m_lastText(edit->text())
{
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern()), edit));
    connect(edit, &QLineEdit::textChanged, this, &Ipv4Edit::onTextChanged);
}

QString Ipv4Edit::pattern()
{
    const QString octet = QStringLiteral("(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])");
    return QStringLiteral("(%1\\.){3}%1").arg(octet);
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
