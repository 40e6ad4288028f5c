#pragma once

#include <cstdint>

class RtlsHubLink;
class RtlsObject;
class TlvReader;

// Turns one TLV location datagram into node updates: each node identifier
// element starts a node's report, the elements after it fill that node's
// position, measurements and sensor values, and a finished report is
// announced through the hub. Never reads outside the datagram or an element.
class TlvReportDecoder
{
public:
    explicit TlvReportDecoder(RtlsHubLink *hub);

    // Writes the "LS_IN TLV" console line for each finished node.
    void setEchoEnabled(bool enabled) { m_echo = enabled; }

    // Returns 0, or -1 when an element is cut short; what was finished
    // before stays applied.
    int decode(const char *data, int size);

private:
    struct Report
    {
        RtlsObject *node = nullptr;
        double timeStamp = 0.0;
        uint32_t reportNumber = 0;
        int measurements = 0;
        // Wall-clock time of the datagram, milliseconds since the epoch.
        uint64_t receivedAt = 0;
    };

    void applyElement(Report &report, const TlvReader &element);
    void startNode(Report &report, uint64_t id);
    void heardAgain(RtlsObject *node);
    void applyIo(RtlsObject *node, uint8_t io);
    void finishBetweenNodes(Report &report);
    void finishAtEnd(Report &report);
    void discard(Report &report);
    void echo(const Report &report);

    RtlsHubLink *const m_hub;
    bool m_echo = false;
};
