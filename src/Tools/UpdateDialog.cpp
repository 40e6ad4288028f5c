#include "UpdateDialog.h"

#include "CommConstants.h"
#include "DiscoveryConstants.h"
#include "FirmwareUploader.h"
#include "QMDns.h"
#include "RtlsConvert.h"
#include "ToolsLog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

enum DescriptorColumn { ColSlot, ColName, ColVersion, ColSize, ColCrc, ColEnabled, ColBoot, DescriptorColumns };
enum VersionColumn { ColNode, ColNodeName, ColMode, ColHardware, ColLoader, ColFirmware, VersionColumns };

constexpr int kMasterAddressRole = Qt::UserRole;
constexpr int kMasterPortRole = Qt::UserRole + 1;
constexpr int kSearchRepeats = 2;
constexpr int kSearchRepeatMs = 1500;
constexpr int kLogLines = 2000;
const QColor kOutdated(255, 214, 153);

QTableWidgetItem *cell(const QString &text, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    item->setTextAlignment(int(alignment));
    return item;
}

QPushButton *button(const QString &text, const QString &name)
{
    auto *b = new QPushButton(text);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

} // namespace

UpdateDialog::UpdateDialog(QWidget *parent)
    : QDialog(parent)
    , m_mdns(new QMDns(this))
    , m_masterList(QString::fromLatin1(Discovery::kFirmwareServiceName), Comm::kServicePort)
    , m_searchRepeat(new QTimer(this))
    , m_session(new FirmwareSession(this))
    , m_uploader(new FirmwareUploader(this))
    , m_versionsRefresh(new QTimer(this))
{
    setWindowTitle(tr("Firmware update"));
    setObjectName(QStringLiteral("updateDialog"));

    // Masters: what answered the question, and a field for one that cannot
    // (multicast DNS does not cross routers).
    auto *mastersBox = new QGroupBox(tr("Masters"));
    m_masters = new QTreeWidget;
    m_masters->setObjectName(QStringLiteral("masters"));
    m_masters->setHeaderLabels({tr("Master"), tr("Address")});
    m_masters->setRootIsDecorated(false);
    m_masters->setMaximumHeight(110);
    m_masters->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    QPushButton *search = button(tr("Search"), QStringLiteral("search"));
    m_address = new QLineEdit;
    m_address->setObjectName(QStringLiteral("address"));
    m_address->setPlaceholderText(tr("address[:port]"));
    QPushButton *add = button(tr("Add"), QStringLiteral("addAddress"));
    m_status = new QLabel(tr("Looking for masters…"));
    m_status->setObjectName(QStringLiteral("status"));
    auto *mastersGrid = new QGridLayout(mastersBox);
    mastersGrid->addWidget(m_masters, 0, 0, 1, 3);
    mastersGrid->addWidget(search, 0, 3, Qt::AlignTop);
    mastersGrid->addWidget(new QLabel(tr("Address:")), 1, 0);
    mastersGrid->addWidget(m_address, 1, 1);
    mastersGrid->addWidget(add, 1, 2);
    mastersGrid->addWidget(m_status, 2, 0, 1, 4);

    m_pages = new QTabWidget;
    m_pages->addTab(buildFirmwarePage(), tr("Firmware"));
    m_pages->addTab(buildVersionsPage(), tr("Versions"));

    m_log = new QPlainTextEdit;
    m_log->setObjectName(QStringLiteral("log"));
    m_log->setReadOnly(true);
    m_log->setMaximumBlockCount(kLogLines);
    m_log->setMinimumHeight(90);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &UpdateDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(mastersBox);
    layout->addWidget(m_pages, 3);
    layout->addWidget(new QLabel(tr("Log:")));
    layout->addWidget(m_log, 1);
    layout->addWidget(buttons);
    resize(760, 640);

    connect(search, &QPushButton::clicked, this, &UpdateDialog::searchMasters);
    connect(add, &QPushButton::clicked, this, &UpdateDialog::addMasterAddress);
    connect(m_address, &QLineEdit::returnPressed, this, &UpdateDialog::addMasterAddress);
    connect(m_masters, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *current) { chooseMaster(current); });
    connect(m_mdns, &QMDns::newResult, this, &UpdateDialog::onMdnsResult);
    m_searchRepeat->setInterval(kSearchRepeatMs);
    connect(m_searchRepeat, &QTimer::timeout, this, [this] {
        // A question or its answer can be lost: ask a few times.
        m_mdns->query(QString::fromLatin1(Discovery::kFirmwareServiceName));
        if (--m_searchesLeft > 0)
            return;
        m_searchRepeat->stop();
        QTimer::singleShot(kSearchRepeatMs, this, [this] {
            if (m_masters->topLevelItemCount() == 0)
                m_status->setText(tr("No master answered: enter its address in the Address field"));
        });
    });

    connect(m_session, &FirmwareSession::logLine, this, &UpdateDialog::log);
    connect(m_session, &FirmwareSession::descriptorsChanged, this, &UpdateDialog::showDescriptors);
    connect(m_session, &FirmwareSession::commandFailed, this, [this](const QString &command, const QString &error) {
        setResult(command.isEmpty() ? tr("The master refused: %1").arg(error)
                                    : tr("The master refused %1: %2").arg(command, error),
                  false);
    });
    connect(m_session, &FirmwareSession::commandDone, this, [this](const QString &command) {
        if (command == QLatin1String("saveFwDescList"))
            setResult(tr("The master saved its descriptor list"), true);
        else
            setResult(tr("The master checks for new firmware"), true);
    });
    connect(m_session, &FirmwareSession::connectionFailed, this,
            [this](const QString &error) { m_status->setText(error); });
    connect(m_session, &FirmwareSession::nodeVersions, this, &UpdateDialog::onNodeVersions);

    connect(m_uploader, &FirmwareUploader::sending, this,
            [this](const QString &line) { log(QStringLiteral("Sending: ") + line); });
    connect(m_uploader, &FirmwareUploader::progress, this, &UpdateDialog::onUploadProgress);
    connect(m_uploader, &FirmwareUploader::finished, this, &UpdateDialog::onUploadFinished);

    m_versionsRefresh->setSingleShot(true);
    connect(m_versionsRefresh, &QTimer::timeout, this, &UpdateDialog::showVersions);
    connect(m_pages, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == 1 && m_session->isOpen() && !m_versionsRead)
            readVersions();
    });

    updateButtons();
    searchMasters();
}

UpdateDialog::~UpdateDialog() = default;

QWidget *UpdateDialog::buildFirmwarePage()
{
    auto *page = new QWidget;
    m_descriptors = new QTableWidget(0, DescriptorColumns);
    m_descriptors->setObjectName(QStringLiteral("descriptors"));
    m_descriptors->setHorizontalHeaderLabels(
        {tr("Slot"), tr("Firmware"), tr("Version"), tr("Size"), tr("CRC-32"), tr("Enabled"), tr("Boot")});
    m_descriptors->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_descriptors->setSelectionMode(QAbstractItemView::SingleSelection);
    m_descriptors->verticalHeader()->setVisible(false);
    m_descriptors->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_descriptors->horizontalHeader()->setSectionResizeMode(ColName, QHeaderView::Stretch);
    connect(m_descriptors, &QTableWidget::itemSelectionChanged, this, &UpdateDialog::updateButtons);

    m_refresh = button(tr("Refresh"), QStringLiteral("refresh"));
    m_enable = button(tr("Disable"), QStringLiteral("enable"));
    m_remove = button(tr("Remove"), QStringLiteral("remove"));
    m_boot = button(tr("Boot"), QStringLiteral("boot"));
    m_save = button(tr("Save list"), QStringLiteral("save"));
    m_check = button(tr("Check update"), QStringLiteral("check"));
    auto *tableButtons = new QVBoxLayout;
    for (QPushButton *b : {m_refresh, m_enable, m_remove, m_boot, m_save, m_check})
        tableButtons->addWidget(b);
    tableButtons->addStretch(1);

    connect(m_refresh, &QPushButton::clicked, m_session, &FirmwareSession::listFwDesc);
    connect(m_save, &QPushButton::clicked, m_session, &FirmwareSession::saveFwDescList);
    connect(m_check, &QPushButton::clicked, m_session, &FirmwareSession::checkFwUpdate);
    connect(m_enable, &QPushButton::clicked, this, [this] {
        if (const FwDescriptor *d = selectedDescriptor())
            m_session->enableFwDesc(d->slot, !d->enabled);
    });
    connect(m_remove, &QPushButton::clicked, this, [this] {
        if (const FwDescriptor *d = selectedDescriptor())
            m_session->removeFwDesc(d->slot);
    });
    connect(m_boot, &QPushButton::clicked, this, [this] {
        if (const FwDescriptor *d = selectedDescriptor())
            m_session->bootFwDesc(d->slot);
    });

    m_filePath = new QLineEdit;
    m_filePath->setObjectName(QStringLiteral("file"));
    m_filePath->setPlaceholderText(tr("firmware file (*.fwup)"));
    m_browse = button(tr("Browse…"), QStringLiteral("browse"));
    m_fileInfo = new QLabel;
    m_fileInfo->setObjectName(QStringLiteral("fileInfo"));
    m_fileInfo->setWordWrap(true);
    m_upload = button(tr("Upload"), QStringLiteral("upload"));
    m_cancel = button(tr("Cancel"), QStringLiteral("cancel"));
    m_progress = new QProgressBar;
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_result = new QLabel;
    m_result->setObjectName(QStringLiteral("result"));
    m_result->setWordWrap(true);

    connect(m_filePath, &QLineEdit::returnPressed, this, [this] { setFirmwareFile(m_filePath->text()); });
    connect(m_browse, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, tr("Open firmware file"),
                                                          QFileInfo(m_filePath->text()).absolutePath(),
                                                          tr("Firmware Files (*.fwup)"));
        if (!path.isEmpty())
            setFirmwareFile(path);
    });
    connect(m_upload, &QPushButton::clicked, this, &UpdateDialog::startUpload);
    connect(m_cancel, &QPushButton::clicked, this, &UpdateDialog::cancelUpload);

    auto *uploadBox = new QGroupBox(tr("Upload"));
    auto *uploadGrid = new QGridLayout(uploadBox);
    uploadGrid->addWidget(new QLabel(tr("File:")), 0, 0);
    uploadGrid->addWidget(m_filePath, 0, 1);
    uploadGrid->addWidget(m_browse, 0, 2);
    uploadGrid->addWidget(m_fileInfo, 1, 1, 1, 2);
    uploadGrid->addWidget(m_progress, 2, 1);
    auto *uploadButtons = new QHBoxLayout;
    uploadButtons->addWidget(m_upload);
    uploadButtons->addWidget(m_cancel);
    uploadGrid->addLayout(uploadButtons, 2, 2);
    uploadGrid->addWidget(m_result, 3, 1, 1, 2);

    auto *layout = new QGridLayout(page);
    layout->addWidget(m_descriptors, 0, 0);
    layout->addLayout(tableButtons, 0, 1);
    layout->addWidget(uploadBox, 1, 0, 1, 2);
    layout->setRowStretch(0, 1);
    return page;
}

QWidget *UpdateDialog::buildVersionsPage()
{
    auto *page = new QWidget;
    m_versions = new QTableWidget(0, VersionColumns);
    m_versions->setObjectName(QStringLiteral("versions"));
    m_versions->setHorizontalHeaderLabels(
        {tr("Node"), tr("Name"), tr("Mode"), tr("Hardware"), tr("Loader"), tr("Firmware")});
    m_versions->verticalHeader()->setVisible(false);
    m_versions->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_versions->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_versions->horizontalHeader()->setSectionResizeMode(ColNodeName, QHeaderView::Stretch);
    m_readVersions = button(tr("Read versions"), QStringLiteral("readVersions"));
    connect(m_readVersions, &QPushButton::clicked, this, &UpdateDialog::readVersions);
    auto *note = new QLabel(tr("Versions older than the newest of their column are highlighted."));
    auto *layout = new QGridLayout(page);
    layout->addWidget(m_versions, 0, 0, 1, 2);
    layout->addWidget(note, 1, 0);
    layout->addWidget(m_readVersions, 1, 1);
    layout->setColumnStretch(0, 1);
    return page;
}

void UpdateDialog::searchMasters()
{
    m_status->setText(tr("Looking for masters…"));
    m_mdns->query(QString::fromLatin1(Discovery::kFirmwareServiceName));
    m_searchesLeft = kSearchRepeats;
    m_searchRepeat->start();
}

void UpdateDialog::onMdnsResult(QMDnsResponse *response)
{
    if (response && m_masterList.add(*response))
        showMasters();
}

void UpdateDialog::showMasters()
{
    // Masters typed in by address stay; those found are brought up to date.
    for (const MdnsMasterList::Master &m : m_masterList.masters()) {
        QTreeWidgetItem *item = nullptr;
        for (int i = 0; i < m_masters->topLevelItemCount(); ++i)
            if (m_masters->topLevelItem(i)->toolTip(0) == m.instance)
                item = m_masters->topLevelItem(i);
        const QString address = QStringLiteral("%1:%2").arg(m.address.toString()).arg(m.port);
        if (!item) {
            // The instance label without the service name it is listed under.
            const int dot = m.instance.indexOf(QLatin1String("]."));
            item = new QTreeWidgetItem(m_masters, {dot > 0 ? m.instance.left(dot + 1) : m.instance, address});
            item->setToolTip(0, m.instance);
        }
        else if (item->text(1) == address || item == m_masters->currentItem())
            continue; // the chosen master keeps its channel
        item->setText(1, address);
        item->setData(0, kMasterAddressRole, m.address.toString());
        item->setData(0, kMasterPortRole, m.port);
    }
    // The first master found is chosen at once: usually it is the only one.
    if (!m_masters->currentItem() && m_masters->topLevelItemCount() > 0)
        m_masters->setCurrentItem(m_masters->topLevelItem(0));
}

void UpdateDialog::addMasterAddress()
{
    const QString text = m_address->text().trimmed();
    if (text.isEmpty())
        return;
    QString host = text;
    quint16 port = Comm::kServicePort;
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon > 0) {
        bool ok = false;
        const uint p = text.mid(colon + 1).toUInt(&ok);
        if (!ok || p == 0 || p > 65535) {
            m_status->setText(tr("Not a port: %1").arg(text.mid(colon + 1)));
            return;
        }
        host = text.left(colon);
        port = quint16(p);
    }
    const QHostAddress address(host);
    if (address.protocol() != QAbstractSocket::IPv4Protocol) {
        m_status->setText(tr("Not an IPv4 address: %1").arg(host));
        return;
    }
    const QString label = QStringLiteral("%1:%2").arg(address.toString()).arg(port);
    auto *item = new QTreeWidgetItem(m_masters, {tr("entered by hand"), label});
    item->setData(0, kMasterAddressRole, address.toString());
    item->setData(0, kMasterPortRole, port);
    m_masters->setCurrentItem(item);
    m_address->clear();
}

void UpdateDialog::chooseMaster(QTreeWidgetItem *item)
{
    if (!item)
        return;
    const QHostAddress address(item->data(0, kMasterAddressRole).toString());
    const quint16 port = quint16(item->data(0, kMasterPortRole).toUInt());
    if (address.isNull() || port == 0)
        return;
    if (m_session->isOpen() && m_session->address() == address && m_session->port() == port)
        return;
    connectTo(address, port, item->text(0));
}

void UpdateDialog::connectTo(const QHostAddress &address, quint16 port, const QString &label)
{
    if (m_uploader->isRunning())
        cancelUpload();
    m_status->setText(tr("Master %1 at %2:%3").arg(label, address.toString()).arg(port));
    log(tr("Connecting to %1:%2").arg(address.toString()).arg(port));
    m_session->open(address, port);
    m_matrix.clear();
    m_versionsRead = false;
    showVersions();
    m_session->listFwDesc();
    if (m_pages->currentIndex() == 1)
        readVersions();
    updateButtons();
}

void UpdateDialog::showDescriptors()
{
    const int keep = selectedSlot();
    const QVector<FwDescriptor> &list = m_session->descriptors();
    const QLocale locale;
    m_descriptors->setUpdatesEnabled(false);
    m_descriptors->setRowCount(list.size());
    int selectRow = -1;
    for (int r = 0; r < list.size(); ++r) {
        const FwDescriptor &d = list.at(r);
        const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
        m_descriptors->setItem(r, ColSlot, cell(QString::number(d.slot), right));
        m_descriptors->setItem(r, ColName, cell(d.name));
        m_descriptors->setItem(r, ColVersion, cell(d.version));
        m_descriptors->setItem(r, ColSize, cell(locale.toString(d.size), right));
        m_descriptors->setItem(r, ColCrc, cell(FirmwareFile::crcText(d.crc32)));
        m_descriptors->setItem(r, ColEnabled, cell(d.enabled ? tr("yes") : tr("no")));
        m_descriptors->setItem(r, ColBoot, cell(d.boot ? tr("boot") : QString()));
        if (d.slot == keep)
            selectRow = r;
    }
    m_descriptors->setUpdatesEnabled(true);
    if (selectRow >= 0)
        m_descriptors->selectRow(selectRow);
    else
        m_descriptors->clearSelection();
    updateButtons();
}

int UpdateDialog::selectedSlot() const
{
    const FwDescriptor *d = selectedDescriptor();
    return d ? d->slot : -1;
}

const FwDescriptor *UpdateDialog::selectedDescriptor() const
{
    const QList<QTableWidgetItem *> items = m_descriptors->selectedItems();
    if (items.isEmpty())
        return nullptr;
    const int row = items.first()->row();
    const QVector<FwDescriptor> &list = m_session->descriptors();
    return row >= 0 && row < list.size() ? &list.at(row) : nullptr;
}

void UpdateDialog::updateButtons()
{
    const bool open = m_session->isOpen();
    const bool uploading = m_uploader->isRunning();
    const FwDescriptor *d = selectedDescriptor();
    for (QPushButton *b : {m_refresh, m_save, m_check})
        b->setEnabled(open);
    m_readVersions->setEnabled(open);
    // The master keeps its boot image enabled and in the table.
    m_enable->setText(d && !d->enabled ? tr("Enable") : tr("Disable"));
    m_enable->setEnabled(open && d && !d->boot);
    m_remove->setEnabled(open && d && !d->boot);
    m_boot->setEnabled(open && d && d->enabled && !d->boot);
    m_upload->setEnabled(open && m_file.isValid() && !uploading);
    m_cancel->setEnabled(uploading);
    m_browse->setEnabled(!uploading);
    m_filePath->setEnabled(!uploading);
}

void UpdateDialog::setFirmwareFile(const QString &path)
{
    if (m_uploader->isRunning())
        return;
    m_filePath->setText(path);
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_result->clear();
    if (m_file.load(path)) {
        m_fileInfo->setStyleSheet(QString());
        m_fileInfo->setText(tr("%1 %2, %3 bytes, CRC-32 %4")
                                .arg(m_file.name(), m_file.version(), QLocale().toString(m_file.size()),
                                     FirmwareFile::crcText(m_file.crc32())));
    } else {
        // Refused here, before anything goes to the master.
        m_fileInfo->setStyleSheet(QStringLiteral("color: #b00020;"));
        m_fileInfo->setText(m_file.error());
        log(tr("Cannot upload: %1").arg(m_file.error()));
        qCWarning(lcTools).noquote() << "firmware file refused:" << m_file.error();
    }
    updateButtons();
}

void UpdateDialog::startUpload()
{
    if (!m_session->isOpen() || !m_file.isValid() || m_uploader->isRunning())
        return;
    m_progress->setRange(0, int(m_file.size()));
    m_progress->setValue(0);
    setResult(tr("Uploading %1…").arg(m_file.fileName()), true);
    m_uploader->start(m_session->address(), m_session->port(), m_file);
    updateButtons();
}

void UpdateDialog::cancelUpload()
{
    m_uploader->cancel();
}

void UpdateDialog::onUploadProgress(qint64 acknowledged, qint64 total)
{
    if (m_progress->maximum() != int(total))
        m_progress->setRange(0, int(total));
    m_progress->setValue(int(acknowledged));
}

void UpdateDialog::onUploadFinished(bool ok, int, const QString &message)
{
    log(message);
    setResult(ok ? tr("Upload complete: %1").arg(message) : message, ok);
    updateButtons();
    // Whatever happened, the table shows what the master holds now.
    m_session->listFwDesc();
}

void UpdateDialog::readVersions()
{
    if (!m_session->isOpen())
        return;
    m_versionsRead = true;
    m_matrix.clear();
    showVersions();
    m_session->readVersions();
}

void UpdateDialog::onNodeVersions(const FirmwareSession::NodeVersions &v)
{
    m_matrix.set(v.id, v.name, v.mode, v.hardware, v.loader, v.firmware);
    // Answers come one per node: the table is rebuilt once they pause.
    if (!m_versionsRefresh->isActive())
        m_versionsRefresh->start(0);
}

void UpdateDialog::showVersions()
{
    uint32_t newest[VersionMatrix::ColumnCount];
    for (int c = 0; c < VersionMatrix::ColumnCount; ++c)
        newest[c] = m_matrix.newest(VersionMatrix::Column(c));
    m_versions->setUpdatesEnabled(false);
    m_versions->setRowCount(m_matrix.rowCount());
    for (int r = 0; r < m_matrix.rowCount(); ++r) {
        const VersionMatrix::Row &row = m_matrix.row(r);
        m_versions->setItem(r, ColNode, cell(Rtls::hexText(row.id)));
        m_versions->setItem(r, ColNodeName, cell(row.name));
        m_versions->setItem(r, ColMode, cell(row.mode));
        for (int c = 0; c < VersionMatrix::ColumnCount; ++c) {
            const uint32_t v = row.versions[c];
            QTableWidgetItem *item = cell(VersionMatrix::text(v));
            if (v != 0 && v < newest[c]) {
                item->setBackground(kOutdated);
                item->setToolTip(tr("Older than the newest, %1").arg(VersionMatrix::text(newest[c])));
            }
            m_versions->setItem(r, ColHardware + c, item);
        }
    }
    m_versions->setUpdatesEnabled(true);
}

void UpdateDialog::log(const QString &line)
{
    m_log->appendPlainText(line);
}

void UpdateDialog::setResult(const QString &text, bool good)
{
    m_result->setStyleSheet(good ? QString() : QStringLiteral("color: #b00020;"));
    m_result->setText(text);
}

void UpdateDialog::reject()
{
    // Closing the dialog cuts a running upload; the master keeps its table.
    if (m_uploader->isRunning())
        m_uploader->cancel();
    QDialog::reject();
}
