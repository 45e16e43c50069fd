#ifndef IPV4EDIT_H
#define IPV4EDIT_H

#include <QObject>
#include <QString>

class QLineEdit;

// Turns a line edit into an IPv4 address field: only four dotted decimal
// numbers 0 to 255 without leading zeros pass (read as octal elsewhere, "010"
// would be another address than it shows), and a dot follows each complete
// group of three digits typed at the end. A backspace over that dot is left
// alone. Create it before connecting to the edit's textChanged, so that
// those slots see the dot already added.
class Ipv4Edit : public QObject
{
    Q_OBJECT

public:
    explicit Ipv4Edit(QLineEdit *edit);

    static QString pattern();

private:
    void onTextChanged(const QString &text);

    QLineEdit *m_edit;
    QString m_lastText;
};

#endif // IPV4EDIT_H
