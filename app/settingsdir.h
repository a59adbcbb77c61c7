#pragma once
// Where comm.set and the COMn links live. A program in a folder of its own keeps them beside itself;
// an installed one, or one in a folder its user cannot write, keeps them in the user's configuration.
#include <QString>

// The choice alone: programDir unless it is installBinDir or cannot be written, else userConfigDir.
QString chooseSettingsDir(const QString &programDir, const QString &installBinDir, bool programDirWritable,
                          const QString &userConfigDir);

// The choice for this user, with the user's directory ($XDG_CONFIG_HOME/kv4820-tool) made if chosen.
QString settingsDir(const QString &programDir, const QString &installBinDir);
