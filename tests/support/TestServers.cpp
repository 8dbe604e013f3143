#include "tests/support/TestServers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QMessageBox>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

const DovecotFixture &DovecotFixture::get()
{
    static DovecotFixture fixture = [] {
        DovecotFixture f;
        QFile env(qEnvironmentVariable("PURGELET_FIXTURE_ENV"));
        if (!env.open(QIODevice::ReadOnly))
            return f;
        for (const QByteArray &line : env.readAll().split('\n')) {
            const QString text = QString::fromUtf8(line);
            const QString key = text.section(u'=', 0, 0);
            const QString value = text.section(u'=', 1);
            if (key == u"PURGELET_POP3_PORT") f.pop3Port = value.toUShort();
            if (key == u"PURGELET_POP3S_PORT") f.pop3sPort = value.toUShort();
            if (key == u"PURGELET_FIXTURE_DIR") f.dir = value;
            if (key == u"PURGELET_FIXTURE_PASSWORD") f.password = value;
        }
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.addCaCertificates(QSslCertificate::fromPath(f.dir + QStringLiteral("/ca.crt")));
        QSslConfiguration::setDefaultConfiguration(config);
        return f;
    }();
    if (fixture.pop3Port == 0)
        ADD_FAILURE() << "Dovecot fixture not running (PURGELET_FIXTURE_ENV)";
    return fixture;
}

QString DovecotFixture::log() const
{
    QFile file(dir + QStringLiteral("/dovecot.log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString DovecotFixture::waitForLogLine(const QString &part1, const QString &part2) const
{
    // Dovecot writes a session's last line after the client has its answer to QUIT.
    QDeadlineTimer deadline(5000);
    do {
        QString found;
        for (const QString &line : log().split(u'\n'))
            if (line.contains(part1) && line.contains(part2))
                found = line;
        if (!found.isEmpty())
            return found;
        QThread::msleep(20);
    } while (!deadline.hasExpired());
    return QString();
}

ScriptedServer::ScriptedServer(const QStringList &options)
{
    static QTemporaryDir logs;
    static int serial = 0;
    m_logPath = logs.filePath(QStringLiteral("scripted-%1.log").arg(++serial));
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(qEnvironmentVariable("PURGELET_PYTHON", QStringLiteral("python3")),
                    QStringList{qEnvironmentVariable("PURGELET_SCRIPTED_SERVER"), QStringLiteral("--log"), m_logPath} + options);
    if (!m_process.waitForStarted(5000) || !m_process.waitForReadyRead(10000)) {
        ADD_FAILURE() << "scripted server did not start";
        return;
    }
    const QByteArray line = m_process.readLine().trimmed();
    m_port = line.startsWith("PORT ") ? line.mid(5).toUShort() : 0;
    if (m_port == 0)
        ADD_FAILURE() << "scripted server said: " << line.constData();
}

ScriptedServer::~ScriptedServer()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

QStringList ScriptedServer::commands() const
{
    QFile file(m_logPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

struct BoxAnswerer::Private
{
    QTimer timer;
    QList<Box> boxes;
};

BoxAnswerer::BoxAnswerer() : d(std::make_unique<Private>())
{
    d->timer.setInterval(10);
    QObject::connect(&d->timer, &QTimer::timeout, [this] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        d->boxes.append({box->windowTitle(), box->text(), box->icon() == QMessageBox::NoIcon,
                         box->buttons().size() == 1 && box->button(QMessageBox::Ok) != nullptr});
        box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->reject();
    });
    d->timer.start();
}

BoxAnswerer::~BoxAnswerer() = default;

QList<BoxAnswerer::Box> BoxAnswerer::boxes() const
{
    return d->boxes;
}
