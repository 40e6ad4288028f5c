#pragma once

#include <QDialog>
#include <QString>

class QDialogButtonBox;
class QHostInfo;
class QLabel;
class QLineEdit;
class QPushButton;

// Asks for a master's address: an IPv4 address, or a host name that is
// looked up in the background while the window goes on. The address is
// checked as it is typed; Connect is offered only for a usable one.
// Emits addressChosen and closes once it has an IPv4 address.
class MasterAddressDialog : public QDialog
{
    Q_OBJECT

public:
    explicit MasterAddressDialog(const QString &preset, QWidget *parent = nullptr);
    ~MasterAddressDialog() override;

    // Whether a name is being looked up.
    bool isLookingUp() const { return m_lookupId >= 0; }

signals:
    // The master's IPv4 address (host byte order) and what was typed.
    void addressChosen(quint32 address, const QString &typed);

public slots:
    void accept() override;
    void reject() override;

private:
    void check();
    void lookedUp(const QHostInfo &info);
    void setBusy(bool busy);
    void finish(quint32 address);

    QLineEdit *m_address = nullptr;
    QLabel *m_status = nullptr;
    QDialogButtonBox *m_buttons = nullptr;
    QPushButton *m_connect = nullptr;
    int m_lookupId = -1;
    QString m_lookupName;
};
