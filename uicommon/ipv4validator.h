#ifndef IPV4VALIDATOR_H
#define IPV4VALIDATOR_H

#include <QValidator>

// Validator of an IPv4 address editor. Acceptable only for the texts the
// configuration models store exactly as typed (isCanonicalIpv4Text), so
// "10.0.0.08" or "192.168.001.010" can never look accepted. A text that can
// still become such an address (missing or empty parts) is Intermediate;
// anything else, a part with a leading zero included, is refused.
class Ipv4Validator : public QValidator
{
    Q_OBJECT
public:
    using QValidator::QValidator;

    State validate(QString &input, int &pos) const override;
};

#endif // IPV4VALIDATOR_H
