#include "NoMasterOverlay.h"

#include "SentrovaInterface.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHostAddress>
#include <QLabel>
#include <QPushButton>

namespace {

// Pixels between the note and the top of the map.
constexpr int kTopMargin = 12;

} // namespace

NoMasterOverlay::NoMasterOverlay(SentrovaInterface *hub, QWidget *map) : QFrame(map), m_hub(hub)
{
    setObjectName(QStringLiteral("noMasterOverlay"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    // Readable over any map: the window's own colours, a touch see-through.
    QPalette look = palette();
    QColor back = look.color(QPalette::Window);
    back.setAlpha(235);
    look.setColor(QPalette::Window, back);
    setPalette(look);

    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("noMasterText"));
    m_connect = new QPushButton(tr("Connect to master…"), this);
    m_connect->setObjectName(QStringLiteral("connectToMaster"));
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(m_text);
    layout->addWidget(m_connect);
    connect(m_connect, &QPushButton::clicked, this, &NoMasterOverlay::connectRequested);

    connect(hub, &SentrovaInterface::masterLinksChanged, this, &NoMasterOverlay::follow);
    // A remote view has no master of its own to look for.
    connect(hub, &SentrovaInterface::remoteChanged, this, [this] { follow(m_hub->connectedMasterCount()); });
    map->installEventFilter(this);
    follow(hub->connectedMasterCount());
}

QString NoMasterOverlay::text() const
{
    return m_text->text();
}

void NoMasterOverlay::follow(int connectedMasters)
{
    if (connectedMasters > 0 || m_hub->isRemote()) {
        hide();
        return;
    }
    if (m_hub->fixedMaster())
        m_text->setText(tr("<b>No master connected.</b> Trying the master at %1…")
                            .arg(QHostAddress(m_hub->fixedMaster()).toString()));
    else
        m_text->setText(tr("<b>No master connected.</b> Searching the network (multicast DNS, broadcast)…"));
    place();
    show();
    raise();
}

void NoMasterOverlay::place()
{
    adjustSize();
    const QWidget *map = parentWidget();
    const int width = qMin(sizeHint().width(), map->width());
    resize(width, sizeHint().height());
    move((map->width() - width) / 2, kTopMargin);
}

bool NoMasterOverlay::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        place();
    return QFrame::eventFilter(watched, event);
}
