#ifndef IPV4TEXT_H
#define IPV4TEXT_H

#include <QString>

// A dotted IPv4 text as a 32-bit number (first octet in the high byte); 0 when
// the text is anything else, short forms like "10.1" included. Every part is
// decimal, also with leading zeros ("192.168.001.010" is 192.168.1.10).
// `ok`, when given, tells a valid "0.0.0.0" from a refused text.
quint32 ipv4FromText(const QString &text, bool *ok = nullptr);

// True when `text` is exactly the dotted form in which a stored address is
// shown again (no leading zeros, no spaces): an editor that accepts only
// these texts never shows an address other than the one stored.
bool isCanonicalIpv4Text(const QString &text);

#endif // IPV4TEXT_H
