#pragma once
// The per-user settings store, addressed by application, section and key.
// Nothing is cached: every read goes to the store, every write reaches it at once.

#include <QString>

namespace platform {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored text, or `fallback` when the key is absent. Throws std::runtime_error
    // when the store cannot be read.
    virtual QString GetSetting(const QString& application, const QString& section,
                               const QString& key, const QString& fallback) const = 0;
    // Creates application, section and key as needed. Throws when the write fails.
    virtual void SaveSetting(const QString& application, const QString& section,
                             const QString& key, const QString& value) = 0;
};

// One INI file per application: <configuration folder>/<application>/<application>.ini,
// with a [section] per section.
class IniSettingsStore : public SettingsStore {
public:
    // `configFolder` empty: the user's configuration folder ($XDG_CONFIG_HOME or ~/.config).
    explicit IniSettingsStore(QString configFolder = {});

    QString GetSetting(const QString& application, const QString& section, const QString& key,
                       const QString& fallback) const override;
    void SaveSetting(const QString& application, const QString& section, const QString& key,
                     const QString& value) override;

    QString fileFor(const QString& application) const;

private:
    QString configFolder_;
};

}  // namespace platform
