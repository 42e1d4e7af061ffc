#pragma once

#include <QString>
#include <functional>

#include "app/AppSettings.h"
#include "platform/UserPrompts.h"

inline constexpr char kSettingsFileName[] = "VELTRO.dat";
inline constexpr qsizetype kSettingsFileMaxBytes = 10000;

// Reads VELTRO.dat once at start-up and writes it once at close.
class SettingsFile {
  public:
    explicit SettingsFile(UserPrompts& prompts,
                          QString path = QString::fromLatin1(kSettingsFileName));

    // Defaults first, then the file's values; a missing file is created with the defaults.
    // Problems are told to the user; the program goes on with what could be read.
    void Load(AppSettings& settings);

    // Writes the file that Load opened or created, through a temporary file renamed over it,
    // so that a failed save keeps the old one (and says why); it is never created here.
    // beforeWrite runs once the file is known to be there, so that views can copy their values
    // into settings (and the port table be saved) first; it does not run when the file is gone.
    bool Save(const AppSettings& settings, const std::function<void()>& beforeWrite = {});

    // Absolute path of the file once Load has opened or created it, else empty.
    QString FullPath() const { return fullPath_; }

  private:
    QString FileName() const;
    void Create(const AppSettings& defaults);

    UserPrompts& prompts_;
    QString path_;
    QString fullPath_;
};
