#include "ZoneCommandsDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace {

const char kEnter[] = "on_enter";
const char kExit[] = "on_exit";

QString pretty(const QJsonValue &value)
{
    if (!value.isObject())
        return QString();
    return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Indented)).trimmed();
}

} // namespace

ZoneCommandsDialog::ZoneCommandsDialog(const QString &zoneName, QWidget *parent)
    : QDialog(parent), m_enter(new QPlainTextEdit(this)), m_exit(new QPlainTextEdit(this)), m_error(new QLabel(this))
{
    setWindowTitle(tr("Zone commands: %1").arg(zoneName));
    auto *hint = new QLabel(tr("Each command is one JSON object sent to the masters, for example "
                               "{\"command\":\"setDigitalIO\",\"id\":\"__SELF__\",\"set\":\"0x01\"}. "
                               "\"__SELF__\" as \"id\" stands for the id of the tag that enters or leaves. "
                               "Leave a field empty for no command."),
                            this);
    hint->setWordWrap(true);
    m_enter->setPlaceholderText(tr("Sent when a tag enters the zone"));
    m_exit->setPlaceholderText(tr("Sent when a tag leaves the zone"));
    m_error->setStyleSheet(QStringLiteral("color: #b00000"));
    m_error->setWordWrap(true);

    auto *form = new QFormLayout;
    form->addRow(tr("On enter:"), m_enter);
    form->addRow(tr("On exit:"), m_exit);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &ZoneCommandsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ZoneCommandsDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addLayout(form);
    layout->addWidget(m_error);
    layout->addWidget(buttons);
}

void ZoneCommandsDialog::setCommands(const QJsonObject &commands)
{
    m_commands = commands;
    m_enter->setPlainText(pretty(commands.value(QLatin1String(kEnter))));
    m_exit->setPlainText(pretty(commands.value(QLatin1String(kExit))));
    m_error->clear();
}

bool ZoneCommandsDialog::parseCommand(const QString &text, QJsonObject *command, QString *error)
{
    *command = QJsonObject();
    if (text.trimmed().isEmpty())
        return true;
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = tr("not JSON (%1 at character %2)").arg(parseError.errorString()).arg(parseError.offset);
        return false;
    }
    if (!doc.isObject()) {
        *error = tr("not a JSON object: a command is written {\"command\": ...}");
        return false;
    }
    *command = doc.object();
    return true;
}

void ZoneCommandsDialog::accept()
{
    QJsonObject enter;
    QJsonObject exit;
    QString error;
    if (!parseCommand(m_enter->toPlainText(), &enter, &error)) {
        m_error->setText(tr("On enter: %1").arg(error));
        return;
    }
    if (!parseCommand(m_exit->toPlainText(), &exit, &error)) {
        m_error->setText(tr("On exit: %1").arg(error));
        return;
    }
    m_commands.remove(QLatin1String(kEnter));
    m_commands.remove(QLatin1String(kExit));
    if (!m_enter->toPlainText().trimmed().isEmpty())
        m_commands.insert(QLatin1String(kEnter), enter);
    if (!m_exit->toPlainText().trimmed().isEmpty())
        m_commands.insert(QLatin1String(kExit), exit);
    m_error->clear();
    QDialog::accept();
}
