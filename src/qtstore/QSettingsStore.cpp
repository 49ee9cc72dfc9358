#include "qtstore/QSettingsStore.h"

#include <QSettings>
#include <QString>

namespace corvel {

namespace {
QString Key(std::string_view name) {
  return QString::fromUtf8(kSettingsSection) + "/" + QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}
}  // namespace

QSettingsStore::QSettingsStore()
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QString::fromUtf8(kSettingsMaker),
                                             QString::fromUtf8(kSettingsApplication))) {}

QSettingsStore::~QSettingsStore() = default;

std::string QSettingsStore::GetText(std::string_view name, std::string_view default_value) {
  const QVariant value = m_settings->value(Key(name));
  if (!value.isValid()) return std::string(default_value);
  return value.toString().toStdString();
}

void QSettingsStore::PutText(std::string_view name, std::string_view value) {
  m_settings->setValue(Key(name), QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
}

int QSettingsStore::GetInt(std::string_view name, int default_value) {
  const QVariant value = m_settings->value(Key(name));
  if (!value.isValid()) return default_value;
  bool ok = false;
  const qlonglong number = value.toLongLong(&ok);
  if (!ok || number < INT32_MIN || number > UINT32_MAX) return default_value;
  return static_cast<int>(static_cast<int32_t>(static_cast<uint32_t>(number)));
}

void QSettingsStore::PutInt(std::string_view name, int value) { m_settings->setValue(Key(name), value); }

bool QSettingsStore::Flush() {
  m_settings->sync();
  return m_settings->status() == QSettings::NoError;
}

}  // namespace corvel
