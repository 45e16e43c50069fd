#ifndef IPV4EDIT_H
#define IPV4EDIT_H

#include <QObject>
#include <QString>
#include <QValidator>

class QLineEdit;

// What an IPv4 address field lets through. Acceptable only for the texts the
// configuration models store exactly as typed (isCanonicalIpv4Text), so
// "10.0.0.08" or "192.168.001.010" can never look accepted: read as octal
// elsewhere, "010" would be another address than it shows. A text that can
// still become such an address (missing or empty parts) is Intermediate; a
// part with a leading zero, and a dot typed straight after a dot, are refused.
class Ipv4Validator : public QValidator
{
    Q_OBJECT
public:
    using QValidator::QValidator;

    State validate(QString &input, int &pos) const override;
};

// Turns a line edit into an IPv4 address field: it takes an Ipv4Validator,
// and a dot follows each complete group of three digits typed at the end. A
// backspace over that dot is left alone. Create it before connecting to the
// edit's textChanged, so that those slots see the dot already added.
class Ipv4Edit : public QObject
{
    Q_OBJECT

public:
    explicit Ipv4Edit(QLineEdit *edit);

private:
    void onTextChanged(const QString &text);

    QLineEdit *m_edit;
    QString m_lastText;
};

#endif // IPV4EDIT_H
