#include "DnsCodec.h"

#include "SimLogging.h"

#include <ldns/ldns.h>

#include <cstdlib>

namespace {

ldns_rdf *dname(const QString &name)
{
    return ldns_dname_new_frm_str(DnsCodec::normalise(name).toUtf8().constData());
}

bool pushRdata(ldns_rr *rr, const DnsCodec::Record &r)
{
    switch (r.type) {
    case DnsCodec::PTR: {
        ldns_rdf *t = dname(r.target);
        return t && ldns_rr_push_rdf(rr, t);
    }
    case DnsCodec::SRV: {
        ldns_rdf *t = dname(r.target);
        if (!t)
            return false;
        ldns_rr_push_rdf(rr, ldns_native2rdf_int16(LDNS_RDF_TYPE_INT16, 0));
        ldns_rr_push_rdf(rr, ldns_native2rdf_int16(LDNS_RDF_TYPE_INT16, 0));
        ldns_rr_push_rdf(rr, ldns_native2rdf_int16(LDNS_RDF_TYPE_INT16, r.port));
        return ldns_rr_push_rdf(rr, t);
    }
    case DnsCodec::TXT: {
        for (const QString &s : r.texts) {
            const QByteArray b = s.toUtf8().left(255);
            QByteArray data;
            data.append(char(b.size()));
            data.append(b);
            ldns_rdf *t = ldns_rdf_new_frm_data(LDNS_RDF_TYPE_STR, size_t(data.size()), data.constData());
            if (!t || !ldns_rr_push_rdf(rr, t))
                return false;
        }
        return !r.texts.isEmpty();
    }
    case DnsCodec::A: {
        bool ok = false;
        const quint32 v = r.address.toIPv4Address(&ok);
        if (!ok)
            return false;
        const uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
        ldns_rdf *a = ldns_rdf_new_frm_data(LDNS_RDF_TYPE_A, 4, b);
        return a && ldns_rr_push_rdf(rr, a);
    }
    default:
        return false;
    }
}

} // namespace

QString DnsCodec::normalise(const QString &name)
{
    QString n = name.toLower();
    if (!n.endsWith(QLatin1Char('.')))
        n.append(QLatin1Char('.'));
    return n;
}

bool DnsCodec::readQuery(const QByteArray &wire, QVector<Question> *questions, bool *isResponse)
{
    ldns_pkt *pkt = nullptr;
    if (ldns_wire2pkt(&pkt, reinterpret_cast<const uint8_t *>(wire.constData()), size_t(wire.size())) !=
        LDNS_STATUS_OK)
        return false;
    *isResponse = ldns_pkt_qr(pkt);
    const ldns_rr_list *qs = ldns_pkt_question(pkt);
    for (size_t i = 0; qs && i < ldns_rr_list_rr_count(qs); ++i) {
        const ldns_rr *q = ldns_rr_list_rr(qs, i);
        char *text = ldns_rdf2str(ldns_rr_owner(q));
        if (!text)
            continue;
        questions->append(Question{normalise(QString::fromUtf8(text)), quint16(ldns_rr_get_type(q))});
        std::free(text);
    }
    ldns_pkt_free(pkt);
    return true;
}

QByteArray DnsCodec::writeResponse(const QVector<Record> &answers)
{
    ldns_pkt *pkt = ldns_pkt_new();
    if (!pkt)
        return {};
    ldns_pkt_set_id(pkt, 0);
    ldns_pkt_set_qr(pkt, true);
    ldns_pkt_set_aa(pkt, true);
    for (const Record &r : answers) {
        ldns_rr *rr = ldns_rr_new();
        ldns_rdf *owner = dname(r.name);
        if (!rr || !owner) {
            ldns_rr_free(rr);
            ldns_rdf_deep_free(owner);
            qCWarning(lcSim) << "mDNS: cannot encode the name" << r.name;
            continue;
        }
        ldns_rr_set_owner(rr, owner);
        ldns_rr_set_type(rr, ldns_rr_type(r.type));
        ldns_rr_set_class(rr, ldns_rr_class(LDNS_RR_CLASS_IN | (r.cacheFlush ? 0x8000 : 0)));
        ldns_rr_set_ttl(rr, r.ttl);
        if (!pushRdata(rr, r)) {
            ldns_rr_free(rr);
            qCWarning(lcSim) << "mDNS: cannot encode a record of type" << r.type;
            continue;
        }
        ldns_pkt_push_rr(pkt, LDNS_SECTION_ANSWER, rr);
    }
    uint8_t *wire = nullptr;
    size_t size = 0;
    QByteArray out;
    if (ldns_pkt2wire(&wire, pkt, &size) == LDNS_STATUS_OK)
        out = QByteArray(reinterpret_cast<const char *>(wire), int(size));
    std::free(wire);
    ldns_pkt_free(pkt);
    return out;
}
