#include "RtlsJsonFields.h"

RtlsJsonFields::RtlsJsonFields(const QJsonObject &obj, const QLatin1String *names, int count)
{
    m_values.reserve(count);
    for (int i = 0; i < count; ++i)
        m_values.append(QJsonValue(QJsonValue::Undefined));
    for (auto it = obj.constBegin(); it != obj.constEnd(); ++it) {
        const QString key = it.key();
        for (int i = 0; i < count; ++i) {
            if (key.size() == names[i].size() && key == names[i]) {
                m_values[i] = it.value();
                break;
            }
        }
    }
}
