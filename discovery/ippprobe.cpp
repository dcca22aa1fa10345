#include "discovery/ippprobe.h"

#include <cups/cups.h>

#include <memory>

namespace discovery {

namespace {

struct HttpCloser {
    void operator()(http_t* http) const { httpClose(http); }
};
struct IppDeleter {
    void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};

// libcups asks this once its wait limit is up: giving up (0) ends the request.
int giveUp(http_t*, void*)
{
    return 0;
}

// libcups leaves no message when a connect was cancelled.
std::string lastError()
{
    const char* text = cupsLastErrorString();
    return text ? std::string(text) : std::string("cancelled");
}

}  // namespace

std::string ippUri(const IppTarget& target)
{
    return std::string(target.tls ? "ipps://" : "ipp://") + target.address + ":" + std::to_string(target.port)
        + target.resource;
}

IppProbeResult probePrinter(const IppTarget& target, std::chrono::milliseconds limit, int* cancel)
{
    IppProbeResult result;
    const int ms = int(limit.count());
    std::unique_ptr<http_t, HttpCloser> http(
        httpConnect2(target.address.c_str(), target.port, nullptr, AF_INET,
                     target.tls ? HTTP_ENCRYPTION_ALWAYS : HTTP_ENCRYPTION_IF_REQUESTED, 1, ms, cancel));
    if (!http) {
        result.error = "no connection: " + lastError();
        return result;
    }
    httpSetTimeout(http.get(), ms / 1000.0, giveUp, nullptr);

    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    const std::string uri = ippUri(target);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, "korvane");
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  kRequestedPrinterAttributeCount, nullptr, kRequestedPrinterAttributes);
    // cupsDoRequest takes the request and frees it.
    std::unique_ptr<ipp_t, IppDeleter> response(cupsDoRequest(http.get(), request, target.resource.c_str()));
    if (!response) {
        result.error = "no answer: " + lastError();
        return result;
    }
    result.attributes = printerAttributesFrom(response.get());
    if (!result.attributes)
        result.error = std::string("refused: ") + ippErrorString(ippGetStatusCode(response.get()));
    return result;
}

}  // namespace discovery
