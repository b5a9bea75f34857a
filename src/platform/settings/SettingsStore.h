#pragma once
#include <QString>

namespace platform {

// The per-user settings: key "Software\Zov", section "Morvanel", kept as an ini-style text file
// $XDG_CONFIG_HOME/Zov.ini (default ~/.config/Zov.ini), section [Morvanel]. Every value is
// text: integers in decimal, booleans "1"/"0". The file is read again on every access, so another program may set a
// value (such as "Redraw") while the program runs; every write is atomic.
class SettingsStore {
public:
    explicit SettingsStore(const QString& key = QStringLiteral("Software\\Zov"),
                           const QString& section = QStringLiteral("Morvanel"));

    QString readString(const QString& name, const QString& def) const;
    // A missing or non-numeric value gives def.
    int readInteger(const QString& name, int def) const;
    // "0" is false, any other number true; a missing or non-numeric value gives def.
    bool readBool(const QString& name, bool def) const;
    bool valueExists(const QString& name) const;

    bool writeString(const QString& name, const QString& value);
    bool writeInteger(const QString& name, int value);
    bool writeBool(const QString& name, bool value);
    bool deleteValue(const QString& name);

    // The file that holds the key.
    QString filePath() const;

private:
    QString key_;
    QString section_;
};

} // namespace platform
