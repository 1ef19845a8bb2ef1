#pragma once
// A private PulseAudio server for the real-device tests: a null sink "anodix_test" at 11025 Hz
// (its monitor records the stimulus bit-exact), its own socket in a fresh folder, stopped by
// pid when the test ends (or the test process dies). parec records the sink's monitor.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdint>
#include <cstring>
#include <sys/prctl.h>
#include <vector>

namespace anodix::testing {

// The child gets SIGTERM should this process die without stopping it.
inline void DieWithParent(QProcess& p) {
    p.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

// Ends a child started here by its pid: SIGTERM, SIGKILL when it has not ended within 3 s.
inline void StopChild(QProcess& p, qint64& pid) {
    if (pid <= 0) return;
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    if (!p.waitForFinished(3000)) {
        ::kill(static_cast<pid_t>(pid), SIGKILL);
        p.waitForFinished(3000);
    }
    pid = 0;
}

class PulseDaemon {
public:
    ~PulseDaemon() { Stop(); }

    // Starts the server and waits until it answers; false (with Why()) when it cannot.
    bool Start() {
        if (!dir_.isValid()) return Fail("no temporary folder");
        const QString run = dir_.path();
        QFile::setPermissions(
            run, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QDir().mkpath(run + "/config");
        QDir().mkpath(run + "/state");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", run);
        env.insert("XDG_RUNTIME_DIR", run);
        env.insert("XDG_CONFIG_HOME", run + "/config");
        env.insert("XDG_STATE_HOME", run + "/state");
        env.remove("PULSE_SERVER");
        daemon_.setProcessEnvironment(env);
        daemon_.setProcessChannelMode(QProcess::MergedChannels);
        daemon_.setStandardOutputFile(run + "/stdout.log");
        DieWithParent(daemon_);
        daemon_.start(
            "pulseaudio",
            {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
             "--disallow-exit=yes", "--log-target=file:" + run + "/pulse.log",
             "--load=module-null-sink sink_name=anodix_test rate=11025 channels=2 "
             "format=s16le norewinds=1 sink_properties=device.description=AnodixTest",
             "--load=module-native-protocol-unix auth-anonymous=1 socket=" + run + "/native"});
        if (!daemon_.waitForStarted(5000))
            return Fail("pulseaudio does not start: " + daemon_.errorString());
        pid_ = daemon_.processId();
        qputenv("PULSE_SERVER", ("unix:" + run + "/native").toUtf8());
        for (int i = 0; i < 200; ++i) {  // up to 10 s
            if (daemon_.state() != QProcess::Running) return Fail("pulseaudio ended: " + Log());
            QProcess info;
            info.start("pactl", {"info"});
            if (info.waitForFinished(2000) && info.exitStatus() == QProcess::NormalExit &&
                info.exitCode() == 0)
                return true;
            QThread::msleep(50);
        }
        return Fail("pulseaudio does not answer: " + Log());
    }

    void Stop() {
        StopRecording();
        StopChild(daemon_, pid_);
    }

    // Records the null sink's monitor into a raw file (S16LE, 2 channels, 11025 Hz).
    bool StartRecording() {
        QFile::remove(dir_.path() + "/monitor.raw");
        parec_.setStandardOutputFile(dir_.path() + "/monitor.raw");
        DieWithParent(parec_);
        parec_.start("parec", {"--device=anodix_test.monitor", "--rate=11025", "--channels=2",
                               "--format=s16le", "--raw", "--latency-msec=20"});
        return parec_.waitForStarted(5000);
    }

    // Stops parec (SIGINT, as a user would) and returns the samples it recorded.
    std::vector<std::int16_t> StopRecording() {
        if (parec_.state() == QProcess::NotRunning) return {};
        ::kill(static_cast<pid_t>(parec_.processId()), SIGINT);
        if (!parec_.waitForFinished(3000)) {
            parec_.kill();
            parec_.waitForFinished(3000);
        }
        QFile f(dir_.path() + "/monitor.raw");
        const QByteArray bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        std::vector<std::int16_t> samples(static_cast<std::size_t>(bytes.size()) / 2);
        std::memcpy(samples.data(), bytes.constData(), samples.size() * 2);
        return samples;
    }

    QString Why() const { return why_; }

private:
    QString Log() const {
        QFile f(dir_.path() + "/pulse.log");
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll().right(2000)) : QString();
    }
    bool Fail(const QString& why) {
        why_ = why;
        Stop();
        return false;
    }
    QTemporaryDir dir_;
    QString why_;
    QProcess daemon_, parec_;
    qint64 pid_ = 0;
};

}  // namespace anodix::testing
