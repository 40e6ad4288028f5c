#pragma once

#include <QSet>
#include <QWidget>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class RtlsNodeConfig;
class RtlsObject;
class SentrovaInterface;
class WriteCheck;

// The system settings held by the masters: TDMA scheme, and the first node
// configuration (measurement policy, update rate, location engine,
// averaging), the external-engine switch and the output format of the
// location stream. Shows what the chosen scheme and rate allow, and after
// every Apply whether the masters hold what was sent.
class SentrovaSettings : public QWidget
{
    Q_OBJECT

public:
    explicit SentrovaSettings(QWidget *parent = nullptr);

    // Item data of the averaging combo that keeps the configuration's own
    // position filter (one this page has no item for).
    static constexpr int kKeepFilter = -1;

    QString capacityText() const;
    QString capacityWarning() const;
    QString configCheckText() const;
    QString schemeCheckText() const;
    QString statusText() const;

public slots:
    void btnSetSchemePressed();
    void btnApplyPressed();
    void btnReadBackPressed();
    void btnSetJSONPressed();
    void btnSetTLVPressed();
    void nodeConfigListUpdated();

private slots:
    void updateCapacity();
    void countTag(RtlsObject *node);
    void showChecks();

private:
    void showConfig(const RtlsNodeConfig &config);
    void applyConfirmed(RtlsNodeConfig *config);

    SentrovaInterface *m_hub;
    WriteCheck *m_check;
    QComboBox *m_scheme;
    QComboBox *m_policy;
    QComboBox *m_rate;
    QComboBox *m_engine;
    QCheckBox *m_externalEngine;
    QComboBox *m_averaging;
    QPushButton *m_apply;
    QLabel *m_capacity;
    QLabel *m_warning;
    QLabel *m_configCheck;
    QLabel *m_schemeCheck;
    QLabel *m_status;
    // Tags the site has, counted as they are added.
    QSet<uint64_t> m_tags;
};
