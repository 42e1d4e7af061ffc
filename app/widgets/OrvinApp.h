#pragma once

#include <QString>
#include <memory>

#include "app/AppPaths.h"
#include "app/widgets/MainFrame.h"

// The application object's start-up: checks that it runs in its working directory, builds
// the main frame, sets its icon and title and shows it maximised.
class COrvinApp {
  public:
    static inline const QString kDriverPackage = kDriverPackageName;
    static inline const QString kMissingDriverText = QStringLiteral(
        "Failed to find required TUNLDRV driver related files!\r\nPlease make sure this "
        "application is running at correct work directory!\r\n( e.g., C:\\Program "
        "Files\\RS-232 to Ethernet\\ )");
    static constexpr int kTitleBytes = 64;
    static constexpr int kIconSize = 16;

    explicit COrvinApp(FrameServices services) : services_(std::move(services)) {
        if (services_.dataDir.isEmpty()) services_.dataDir = services_.workDir;
    }

    // nullptr when start-up fails; no window has been shown then.
    CMainFrame* InitInstance();
    CMainFrame* Frame() const { return frame_.get(); }

    // The window title: the title file's first 64 bytes, or the default title.
    static QString ReadTitle(const QString& path);

  private:
    FrameServices services_;
    std::unique_ptr<CMainFrame> frame_;
};
