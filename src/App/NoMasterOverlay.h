#pragma once

#include <QFrame>

class QLabel;
class QPushButton;
class SentrovaInterface;

// A short note over the top of the map while no master is connected: what
// the program is doing about it (searching the network, or trying the
// master it was told of) and a "Connect to master…" button. It goes as soon
// as a master's service link is up and comes back when the last one goes.
class NoMasterOverlay : public QFrame
{
    Q_OBJECT

public:
    NoMasterOverlay(SentrovaInterface *hub, QWidget *map);

    QString text() const;

signals:
    void connectRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void follow(int connectedMasters);
    void place();

    SentrovaInterface *m_hub;
    QLabel *m_text = nullptr;
    QPushButton *m_connect = nullptr;
};
