#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QString>

// Received bytes written to a file, unaltered, while a capture runs. The file is written as
// the bytes come, unbuffered, so that a capture holds everything up to the moment the
// program stopped, however it stopped; it is a stream, not a file replaced when it is done.
class CaptureFile {
  public:
    // Creates or empties the file; false with the reason in `error` when it cannot.
    bool Start(const QString& path, QString* error);
    // False when the bytes could not all be written; the capture has stopped then, with the
    // reason in `error`.
    bool Write(QByteArrayView bytes, QString* error);
    // Ends the capture; the bytes written since it started.
    qint64 Stop();

    bool Running() const { return file_.isOpen(); }
    QString Path() const { return path_; }
    qint64 Written() const { return written_; }

  private:
    QFile file_;
    QString path_;
    qint64 written_ = 0;
};
