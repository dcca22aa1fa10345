#include "discovery/ippprobe.h"

#include <cups/cups.h>

#include <memory>

namespace discovery {

namespace {

struct HttpCloser {
    void operator()(http_t* http) const { httpClose(http); }
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

IppAnswer askPrinter(const IppTarget& target, std::chrono::milliseconds limit, int* cancel,
                     const char* const* attributes, int attributeCount)
{
    IppAnswer answer;
    const int ms = int(limit.count());
    std::unique_ptr<http_t, HttpCloser> http(
        httpConnect2(target.address.c_str(), target.port, nullptr, AF_INET,
                     target.tls ? HTTP_ENCRYPTION_ALWAYS : HTTP_ENCRYPTION_IF_REQUESTED, 1, ms, cancel));
    if (!http) {
        answer.error = "no connection: " + lastError();
        return answer;
    }
    httpSetTimeout(http.get(), ms / 1000.0, giveUp, nullptr);

    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    const std::string uri = ippUri(target);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, "korvane");
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", attributeCount, nullptr,
                  attributes);
    // cupsDoRequest takes the request and frees it.
    answer.response.reset(cupsDoRequest(http.get(), request, target.resource.c_str()));
    if (!answer.response)
        answer.error = "no answer: " + lastError();
    return answer;
}

IppProbeResult probePrinter(const IppTarget& target, std::chrono::milliseconds limit, int* cancel)
{
    IppProbeResult result;
    const IppAnswer answer =
        askPrinter(target, limit, cancel, kRequestedPrinterAttributes, kRequestedPrinterAttributeCount);
    if (!answer.response) {
        result.error = answer.error;
        return result;
    }
    result.attributes = printerAttributesFrom(answer.response.get());
    if (!result.attributes)
        result.error = std::string("refused: ") + ippErrorString(ippGetStatusCode(answer.response.get()));
    return result;
}

}  // namespace discovery
