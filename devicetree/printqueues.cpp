#include "devicetree/printqueues.h"

#include <QByteArray>
#include <mutex>

namespace devicetree {

namespace {

constexpr int kMaxUriLength = 2048;

std::mutex& providerLock()
{
    static std::mutex lock;
    return lock;
}

PrintQueueProvider& provider()
{
    static PrintQueueProvider current;
    return current;
}

QString decode(const QString& part)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(part.toUtf8())).trimmed();
}

}  // namespace

bool parseUsbDeviceUri(const QString& uri, UsbDeviceUri* out)
{
    static const QString kScheme = QStringLiteral("usb://");
    if (uri.size() > kMaxUriLength || !uri.startsWith(kScheme, Qt::CaseInsensitive))
        return false;
    const QString rest = uri.mid(kScheme.size());
    const int query = rest.indexOf(QLatin1Char('?'));
    const QString path = query < 0 ? rest : rest.left(query);
    UsbDeviceUri parts;
    parts.make = decode(path.section(QLatin1Char('/'), 0, 0));
    parts.model = decode(path.section(QLatin1Char('/'), 1));
    if (query >= 0) {
        const QStringList pairs = rest.mid(query + 1).split(QLatin1Char('&'));
        for (const QString& pair : pairs) {
            if (pair.startsWith(QLatin1String("serial="), Qt::CaseInsensitive))
                parts.serial = decode(pair.mid(7));
        }
    }
    if (out)
        *out = parts;
    return true;
}

QStringList queuesNamingDevice(const UsbPrinterIdentity& device, const std::vector<PrintQueueBinding>& queues)
{
    QStringList names;
    const QString serial = device.serial.trimmed();
    for (const PrintQueueBinding& queue : queues) {
        UsbDeviceUri uri;
        if (!parseUsbDeviceUri(queue.deviceUri, &uri))
            continue;
        bool matches = false;
        if (!uri.serial.isEmpty())
            matches = !serial.isEmpty() && uri.serial == serial;
        else
            matches = !uri.make.isEmpty() && !uri.model.isEmpty() &&
                      uri.make.compare(device.make.trimmed(), Qt::CaseInsensitive) == 0 &&
                      uri.model.compare(device.model.trimmed(), Qt::CaseInsensitive) == 0;
        if (matches)
            names.append(queue.name);
    }
    return names;
}

void setPrintQueueProvider(PrintQueueProvider newProvider)
{
    std::lock_guard<std::mutex> guard(providerLock());
    provider() = std::move(newProvider);
}

std::vector<PrintQueueBinding> currentPrintQueues()
{
    PrintQueueProvider current;
    {
        std::lock_guard<std::mutex> guard(providerLock());
        current = provider();
    }
    return current ? current() : std::vector<PrintQueueBinding>{};
}

}  // namespace devicetree
