#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A COM directory for one test, set as $VELTRO_COM_DIR while it lives.
class TestComDir {
  public:
    TestComDir();
    ~TestComDir();
    QString Path() const { return dir_.path(); }

  private:
    QTemporaryDir dir_;
    QByteArray previous_;
};

// A socat pseudo-terminal pair: one end is linked as COMn in the COM directory, the test
// holds the other end as the peer (raw, non-blocking). socat ends with the object.
class SocatPty {
  public:
    SocatPty(const QString& comDir, int comNumber);
    ~SocatPty();

    bool Ready() const { return peer_ >= 0; }
    QString ComName() const { return comName_; }
    QString LinkPath() const { return link_; }
    // Writes everything, delivering events and taking in what comes back while the pair is full.
    void Write(QByteArrayView bytes);
    // Reads until count bytes came or the guard ran out.
    QByteArray Read(qsizetype count, int guardMs = 5000);
    // Reads what arrives until nothing has come for quietMs.
    QByteArray ReadQuiet(int quietMs = 100);
    // `stty -a -F` of the COM end.
    QString Stty() const;
    // Ends socat, as when an adapter is unplugged: the COM end fails from now on.
    void End();

  private:
    void Drain();
    QByteArray Take(qsizetype count);

    QProcess socat_;
    QString comName_;
    QString link_;
    QString peerLink_;
    int peer_ = -1;
    QByteArray inbox_;  // read from the peer end, not yet taken by the test
};
