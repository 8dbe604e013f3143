// The host box: any text gives an address with a host and a port, or an error.
#include "mail/HostAddress.h"
#include "tests/fuzz/FuzzTargets.h"

void fuzz::hostAddress(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    const std::optional<HostAddress> address = parseHostAddress(text, 110, &error);
    if (address) {
        FUZZ_CHECK(!address->host.isEmpty());
        FUZZ_CHECK(address->port != 0);
    } else {
        FUZZ_CHECK(!error.isEmpty());
    }
}
