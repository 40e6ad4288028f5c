#pragma once

#include "FirmwareFile.h"
#include "FirmwareSession.h"
#include "MdnsMasterList.h"
#include "VersionMatrix.h"

#include <QDialog>
#include <QHostAddress>

class FirmwareUploader;
class QLabel;
class QLineEdit;
class QMDns;
class QMDnsResponse;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

// "Firmware update": lists the masters that answer the multicast DNS
// question for the firmware service (or one entered by address), shows and
// edits the chosen master's firmware descriptor table over the dialog's own
// service channel, uploads "*.fwup" files to it with progress and Cancel,
// and shows every node's versions side by side. Every command sent is
// echoed to the dialog's log as "Sending: ".
class UpdateDialog : public QDialog
{
    Q_OBJECT

public:
    explicit UpdateDialog(QWidget *parent = nullptr);
    ~UpdateDialog() override;

    const VersionMatrix &versionMatrix() const { return m_matrix; }

public slots:
    // Asks the LAN again which masters there are.
    void searchMasters();
    // Adds the master typed as "address" or "address:port" and chooses it.
    void addMasterAddress();
    void setFirmwareFile(const QString &path);
    void startUpload();
    void cancelUpload();
    void readVersions();
    // Closing cuts a running upload first.
    void reject() override;

private:
    QWidget *buildFirmwarePage();
    QWidget *buildVersionsPage();
    void onMdnsResult(QMDnsResponse *response);
    void showMasters();
    void chooseMaster(QTreeWidgetItem *item);
    void connectTo(const QHostAddress &address, quint16 port, const QString &label);
    void showDescriptors();
    void updateButtons();
    int selectedSlot() const;
    const FwDescriptor *selectedDescriptor() const;
    void onUploadProgress(qint64 acknowledged, qint64 total);
    void onUploadFinished(bool ok, int slot, const QString &message);
    void onNodeVersions(const FirmwareSession::NodeVersions &versions);
    void showVersions();
    void log(const QString &line);
    void setResult(const QString &text, bool good);

    QMDns *m_mdns;
    MdnsMasterList m_masterList;
    QTimer *m_searchRepeat;
    int m_searchesLeft = 0;
    FirmwareSession *m_session;
    FirmwareUploader *m_uploader;
    FirmwareFile m_file;
    VersionMatrix m_matrix;
    QTimer *m_versionsRefresh;
    bool m_versionsRead = false;

    QTreeWidget *m_masters;
    QLineEdit *m_address;
    QLabel *m_status;
    QTabWidget *m_pages;
    QTableWidget *m_descriptors;
    QPushButton *m_refresh;
    QPushButton *m_enable;
    QPushButton *m_remove;
    QPushButton *m_boot;
    QPushButton *m_save;
    QPushButton *m_check;
    QLineEdit *m_filePath;
    QPushButton *m_browse;
    QLabel *m_fileInfo;
    QPushButton *m_upload;
    QPushButton *m_cancel;
    QProgressBar *m_progress;
    QLabel *m_result;
    QTableWidget *m_versions;
    QPushButton *m_readVersions;
    QPlainTextEdit *m_log;
};
