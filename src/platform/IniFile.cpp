#include "platform/IniFile.h"

#include <QSettings>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cctype>

namespace vantrel::platform {

std::map<std::string, std::string> ReadIniGroup(const std::string& path, const std::string& group,
                                                std::vector<std::string>* lists) {
    std::map<std::string, std::string> values;
    QSettings ini(QString::fromStdString(path), QSettings::IniFormat);
    ini.beginGroup(QString::fromStdString(group));
    for (const QString& key : ini.childKeys()) {
        const QVariant value = ini.value(key);
        if (lists && value.typeId() == QMetaType::QStringList) lists->push_back(key.toStdString());
        values[key.toStdString()] = value.toString().toStdString();
    }
    ini.endGroup();
    return values;
}

bool IniTrue(const std::string& value) {
    std::string lower = value;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return !lower.empty() && lower != "0" && lower != "false";
}

}  // namespace vantrel::platform
