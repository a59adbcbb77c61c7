#pragma once
// Where comm.set and the COMn links live. A program in a folder of its own keeps them beside itself;
// an installed one, or one in a folder its user cannot write, keeps them in the user's configuration.
#include <QString>

// The choice alone: programDir unless it is installBinDir or cannot be written, else userConfigDir.
QString chooseSettingsDir(const QString &programDir, const QString &installBinDir, bool programDirWritable,
                          const QString &userConfigDir);

// $XDG_CONFIG_HOME/kv4820-tool when that is absolute, else ~/.config/kv4820-tool with the home from
// $HOME or the user's account; empty when the user has no home but the root directory.
QString userSettingsDir();

// The choice for this user, with the user's directory ($XDG_CONFIG_HOME/kv4820-tool) made if chosen.
// Empty when the user's directory is chosen and there is none: nothing is then read or stored.
QString settingsDir(const QString &programDir, const QString &installBinDir);
