#include "SentrovaSettings.h"

#include "RtlsNodeConfig.h"
#include "RtlsObject.h"
#include "SentrovaInterface.h"
#include "TdmaCapacity.h"
#include "WriteCheck.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace {

constexpr int kMaxAveraging = 10;

// Selects the item whose data is value; a value the list does not have is
// added (marked as the masters' own), so the control never shows something
// other than what the master holds and Apply sends that value back.
void selectOrAdd(QComboBox *combo, const QVariant &value, const QString &text)
{
    int index = combo->findData(value);
    if (index < 0) {
        combo->addItem(text, value);
        index = combo->count() - 1;
    }
    combo->setCurrentIndex(index);
}

} // namespace

SentrovaSettings::SentrovaSettings(QWidget *parent)
    : QWidget(parent), m_hub(SentrovaInterface::instance()), m_check(new WriteCheck(m_hub, this))
{
    auto *grid = new QGridLayout(this);

    m_scheme = new QComboBox(this);
    for (const TdmaCapacity::Scheme &s : TdmaCapacity::schemes())
        m_scheme->addItem(s.text, s.number);
    auto *setScheme = new QPushButton(tr("Set TDMA Scheme"), this);
    auto *getSchemes = new QPushButton(tr("Get TDMA Schemes"), this);
    auto *schemeRow = new QHBoxLayout;
    schemeRow->addWidget(m_scheme, 1);
    schemeRow->addWidget(setScheme);
    schemeRow->addWidget(getSchemes);
    grid->addWidget(new QLabel(tr("TDMA Scheme:"), this), 0, 0);
    grid->addLayout(schemeRow, 0, 1);

    m_policy = new QComboBox(this);
    m_policy->addItem(tr("TWR (Two-way Ranging)"), QStringLiteral("twr"));
    m_policy->addItem(tr("TDOA (Time Differential)"), QStringLiteral("tdoa"));
    grid->addWidget(new QLabel(tr("Measurement Policy:"), this), 1, 0);
    grid->addWidget(m_policy, 1, 1);

    m_rate = new QComboBox(this);
    for (const TdmaCapacity::Rate &r : TdmaCapacity::rates())
        m_rate->addItem(r.text, r.intervalMs);
    grid->addWidget(new QLabel(tr("Update Rate:"), this), 2, 0);
    grid->addWidget(m_rate, 2, 1);

    m_engine = new QComboBox(this);
    m_engine->addItem(tr("Only raw measurements"), 0);
    m_engine->addItem(tr("Internal Location Engine"), 1);
    grid->addWidget(new QLabel(tr("Location Engine:"), this), 3, 0);
    grid->addWidget(m_engine, 3, 1);

    m_externalEngine = new QCheckBox(this);
    m_externalEngine->setChecked(m_hub->externalEngine());
    grid->addWidget(new QLabel(tr("External Engine:"), this), 4, 0);
    grid->addWidget(m_externalEngine, 4, 1);

    m_averaging = new QComboBox(this);
    m_averaging->addItem(tr("No averaging"), 0);
    for (int n = 2; n <= kMaxAveraging; ++n)
        m_averaging->addItem(tr("Averaging over %1").arg(n), n);
    grid->addWidget(new QLabel(tr("Averaging:"), this), 5, 0);
    grid->addWidget(m_averaging, 5, 1);

    m_apply = new QPushButton(tr("Apply"), this);
    auto *readBack = new QPushButton(tr("Read values"), this);
    auto *applyRow = new QHBoxLayout;
    applyRow->addWidget(m_apply);
    applyRow->addWidget(readBack);
    applyRow->addStretch(1);
    grid->addLayout(applyRow, 6, 1);

    auto *json = new QPushButton(tr("Set output to JSON"), this);
    auto *tlv = new QPushButton(tr("Set output to TLV"), this);
    auto *outputRow = new QHBoxLayout;
    outputRow->addWidget(json);
    outputRow->addWidget(tlv);
    outputRow->addStretch(1);
    grid->addWidget(new QLabel(tr("Output Mode:"), this), 7, 0);
    grid->addLayout(outputRow, 7, 1);

    m_capacity = new QLabel(this);
    m_warning = new QLabel(this);
    m_warning->setStyleSheet(QStringLiteral("color: #C00000"));
    m_warning->setWordWrap(true);
    grid->addWidget(new QLabel(tr("Capacity:"), this), 8, 0);
    grid->addWidget(m_capacity, 8, 1);
    grid->addWidget(m_warning, 9, 1);

    m_configCheck = new QLabel(this);
    m_schemeCheck = new QLabel(this);
    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    grid->addWidget(new QLabel(tr("Configuration held:"), this), 10, 0);
    grid->addWidget(m_configCheck, 10, 1);
    grid->addWidget(new QLabel(tr("Scheme held:"), this), 11, 0);
    grid->addWidget(m_schemeCheck, 11, 1);
    grid->addWidget(m_status, 12, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(13, 1);

    const RtlsNodeConfig fallback;
    RtlsNodeConfig *config = m_hub->getNodeConfig(0);
    showConfig(config ? *config : fallback);
    m_scheme->setCurrentIndex(m_scheme->findData(m_hub->tdmaScheme()));

    connect(m_hub, &SentrovaInterface::tdmaSchemeChanged, m_scheme, &QComboBox::setCurrentIndex);
    connect(setScheme, &QPushButton::clicked, this, &SentrovaSettings::btnSetSchemePressed);
    connect(getSchemes, &QPushButton::clicked, m_hub, &SentrovaInterface::getTdmaScheme);
    connect(m_externalEngine, &QCheckBox::stateChanged, this,
            [this](int state) { m_hub->useExternalEngine(state == Qt::Checked); });
    connect(m_apply, &QPushButton::clicked, this, &SentrovaSettings::btnApplyPressed);
    connect(readBack, &QPushButton::clicked, this, &SentrovaSettings::btnReadBackPressed);
    connect(m_hub, &SentrovaInterface::nodeConfigListChanged, this, &SentrovaSettings::nodeConfigListUpdated);
    connect(json, &QPushButton::clicked, this, &SentrovaSettings::btnSetJSONPressed);
    connect(tlv, &QPushButton::clicked, this, &SentrovaSettings::btnSetTLVPressed);

    connect(m_scheme, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &SentrovaSettings::updateCapacity);
    connect(m_rate, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &SentrovaSettings::updateCapacity);
    for (RtlsObject *node : m_hub->nodes())
        if (node->mode() == QLatin1String("tag"))
            m_tags.insert(node->id());
    connect(m_hub, &SentrovaInterface::nodeAddedSignal, this, &SentrovaSettings::countTag);
    connect(m_check, &WriteCheck::progress, this, &SentrovaSettings::showChecks);
    connect(m_check, &WriteCheck::checked, this, &SentrovaSettings::showChecks);
    updateCapacity();
}

QString SentrovaSettings::capacityText() const
{
    return m_capacity->text();
}

QString SentrovaSettings::capacityWarning() const
{
    return m_warning->text();
}

QString SentrovaSettings::configCheckText() const
{
    return m_configCheck->text();
}

QString SentrovaSettings::schemeCheckText() const
{
    return m_schemeCheck->text();
}

QString SentrovaSettings::statusText() const
{
    return m_status->text();
}

void SentrovaSettings::btnSetSchemePressed()
{
    const QVariant scheme = m_scheme->currentData();
    if (!scheme.isValid())
        return;
    m_hub->setTdmaScheme(scheme.toInt());
    m_check->expectTdmaScheme(scheme.toInt());
}

void SentrovaSettings::btnApplyPressed()
{
    // Without the masters' configuration there is nothing to change: a
    // record made up here would overwrite their node mask and timings with
    // defaults.
    RtlsNodeConfig *config = m_hub->getNodeConfig(0);
    if (!config) {
        m_status->setText(tr("The masters' node configuration has not been read yet; reading it now. "
                             "Apply again once it is shown."));
        m_hub->getNodeConfigList();
        return;
    }

    QMessageBox box(this);
    box.setText(tr("The system will be down shortly, while applying the settings."));
    box.setInformativeText(tr("Do you want to continue?"));
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Ok);
    if (box.exec() != QMessageBox::Ok)
        return;
    // The box ran its own event loop: take the record again by position.
    config = m_hub->getNodeConfig(0);
    if (config)
        applyConfirmed(config);
}

void SentrovaSettings::applyConfirmed(RtlsNodeConfig *config)
{
    const QVariant policy = m_policy->currentData();
    if (policy.isValid())
        config->setMode(policy.toString());
    const QVariant rate = m_rate->currentData();
    if (rate.isValid() && rate.toInt() > 0)
        config->setMsecRefreshInterval(rate.toInt());
    const QVariant engine = m_engine->currentData();
    if (engine.isValid())
        config->setLocEngine(engine.toInt());
    m_hub->useExternalEngine(m_externalEngine->isChecked());

    const QVariant averaging = m_averaging->currentData();
    if (averaging.isValid() && averaging.toInt() != kKeepFilter) {
        const int n = averaging.toInt();
        if (n < 2) {
            config->setPosFilter(QStringLiteral("none"));
            config->setPosFilterArg(QString());
        } else {
            config->setPosFilter(QStringLiteral("ma"));
            config->setPosFilterArg(QStringLiteral("%1").arg(n));
        }
    }
    config->setDownloadRate(1);
    m_status->clear();
    m_hub->setNodeConfig(config);
    m_check->expectNodeConfig(config->toJSON());
}

void SentrovaSettings::btnReadBackPressed()
{
    m_hub->getNodeConfigList();
}

void SentrovaSettings::btnSetJSONPressed()
{
    m_hub->setOutDataFormat(QStringLiteral("json"));
}

void SentrovaSettings::btnSetTLVPressed()
{
    m_hub->setOutDataFormat(QStringLiteral("tlv"));
}

void SentrovaSettings::nodeConfigListUpdated()
{
    RtlsNodeConfig *config = m_hub->getNodeConfig(0);
    if (!config)
        return;
    showConfig(*config);
    const QSignalBlocker quiet(m_externalEngine);
    m_externalEngine->setChecked(m_hub->externalEngine());
}

void SentrovaSettings::showConfig(const RtlsNodeConfig &config)
{
    selectOrAdd(m_policy, config.mode(), config.mode());
    const int interval = config.msecRefreshInterval();
    selectOrAdd(m_rate, interval,
                interval > 0 ? tr("%1 Hz (%2ms)").arg(1000.0 / interval, 0, 'g', 3).arg(interval)
                             : tr("%1 ms").arg(interval));
    selectOrAdd(m_engine, config.locEngine(), tr("Engine %1").arg(config.locEngine()));

    if (config.posFilter() == QLatin1String("none")) {
        m_averaging->setCurrentIndex(m_averaging->findData(0));
    } else if (config.posFilter() == QLatin1String("ma")) {
        bool ok = false;
        const int n = config.posFilterArg().toInt(&ok);
        if (!ok || n < 2)
            m_averaging->setCurrentIndex(m_averaging->findData(0));
        else
            selectOrAdd(m_averaging, n, tr("Averaging over %1").arg(n));
    } else {
        const int keep = m_averaging->findData(kKeepFilter);
        const QString text = tr("Filter \"%1\" %2").arg(config.posFilter(), config.posFilterArg());
        if (keep >= 0)
            m_averaging->setItemText(keep, text);
        selectOrAdd(m_averaging, kKeepFilter, text);
    }
}

void SentrovaSettings::updateCapacity()
{
    const int scheme = m_scheme->currentData().isValid() ? m_scheme->currentData().toInt() : m_hub->tdmaScheme();
    m_capacity->setText(TdmaCapacity::describe(scheme, m_rate->currentData().toInt()));
    m_warning->setText(TdmaCapacity::warning(scheme, m_tags.size()));
}

void SentrovaSettings::countTag(RtlsObject *node)
{
    if (!node || node->mode() != QLatin1String("tag") || m_tags.contains(node->id()))
        return;
    m_tags.insert(node->id());
    updateCapacity();
}

void SentrovaSettings::showChecks()
{
    m_configCheck->setText(m_check->statusText(WriteCheck::nodeConfigKey(0)));
    m_schemeCheck->setText(m_check->statusText(WriteCheck::tdmaSchemeKey()));
}
