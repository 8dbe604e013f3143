#include "tests/support/TestServers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QFileInfo>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QLabel>
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
            if (key == u"PURGELET_OAUTH_PORT") f.oauthPort = value.toUShort();
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

QJsonObject DovecotFixture::oauthAdmin(const QString &request) const
{
    QNetworkAccessManager network;
    QNetworkReply *reply = network.get(QNetworkRequest(QUrl(oauthUrl(QStringLiteral("/admin/") + request))));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray body = reply->readAll();
    reply->deleteLater();
    EXPECT_EQ(reply->error(), QNetworkReply::NoError) << qPrintable(request);
    const QJsonDocument json = QJsonDocument::fromJson(body);
    return json.isObject() ? json.object() : QJsonObject{{QStringLiteral("text"), QString::fromUtf8(body)}};
}

QString DovecotFixture::log() const
{
    QFile file(dir + QStringLiteral("/dovecot.log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString DovecotFixture::addMailbox(const QString &namePrefix, const QList<QByteArray> &messages) const
{
    static int serial = 0;
    const QString name = QStringLiteral("%1%2").arg(namePrefix).arg(++serial);
    QTemporaryDir eml;
    for (qsizetype i = 0; i < messages.size(); ++i) {
        QFile file(eml.filePath(QStringLiteral("%1.eml").arg(i, 4, 10, QLatin1Char('0'))));
        if (!file.open(QIODevice::WriteOnly) || file.write(messages[i]) != messages[i].size())
            ADD_FAILURE() << "cannot write " << file.fileName().toStdString();
    }
    const QString fixtureDir = QFileInfo(qEnvironmentVariable("PURGELET_FIXTURE_ENV")).absolutePath();
    QProcess script;
    script.setProcessChannelMode(QProcess::ForwardedChannels);
    script.start(QStringLiteral("bash"), {qEnvironmentVariable("PURGELET_DOVECOT_SCRIPT"), QStringLiteral("add-user"),
                                          fixtureDir, name, QStringLiteral("--eml"), eml.path()});
    if (!script.waitForFinished(30000) || script.exitCode() != 0)
        ADD_FAILURE() << "could not add the mailbox " << name.toStdString();
    // Dovecot looks at its passwd-file at most once a second, so a user added
    // within the second of the last log-in would be unknown for a moment.
    QThread::msleep(1100);
    return name;
}

QStringList DovecotFixture::messagesInMaildir(const QString &user) const
{
    QStringList found;
    for (const char *sub : {"cur", "new"}) {
        const QDir folder(maildir(user) + u'/' + QLatin1String(sub));
        for (const QString &entry : folder.entryList(QDir::Files)) {
            QFile file(folder.filePath(entry));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            QByteArray from, subject;
            for (const QByteArray &line : file.readAll().split('\n')) {
                if (line.trimmed().isEmpty())
                    break;
                if (line.startsWith("From: "))
                    from = line.mid(6).trimmed();
                if (line.startsWith("Subject: "))
                    subject = line.mid(9).trimmed();
            }
            found << QString::fromUtf8(from + " | " + subject);
        }
    }
    found.sort();
    return found;
}

QByteArray emlMessage(const QByteArray &from, const QByteArray &subject, int bodyLines)
{
    static int serial = 0;
    QByteArray text = "From: " + from + "\r\nTo: user@example.org\r\nSubject: " + subject +
                      "\r\nDate: Mon, 7 Dec 2026 10:00:00 +0000\r\nMessage-ID: <t" + QByteArray::number(++serial) +
                      "@example.org>\r\n\r\n";
    for (int i = 0; i < bodyLines; ++i)
        text += "Body line " + QByteArray::number(i) + "\r\n";
    return text;
}

QStringList DovecotFixture::sessionEnds(const QString &user, int atLeast) const
{
    // Dovecot writes a session's last line after the client has its answer to QUIT.
    const QString who = QStringLiteral("pop3(%1)").arg(user);
    QDeadlineTimer deadline(5000);
    QStringList found;
    do {
        found.clear();
        for (const QString &line : log().split(u'\n'))
            if (line.contains(who) && line.contains(QStringLiteral("Disconnected:")))
                found << line;
        if (found.size() >= atLeast)
            break;
        QThread::msleep(20);
    } while (!deadline.hasExpired());
    return found;
}

namespace {
// Starts a fixture script that prints "PORT n" on its first line; returns n (0 on failure).
quint16 startPortPrinter(QProcess &process, const QString &script, const QStringList &arguments)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(qEnvironmentVariable("PURGELET_PYTHON", QStringLiteral("python3")), QStringList{script} + arguments);
    QDeadlineTimer deadline(10000);
    while (process.waitForStarted(5000) && !process.canReadLine() && !deadline.hasExpired())
        process.waitForReadyRead(int(deadline.remainingTime()));
    if (!process.canReadLine()) {
        ADD_FAILURE() << qPrintable(script) << " did not start";
        return 0;
    }
    const QByteArray line = process.readLine().trimmed();
    const quint16 port = line.startsWith("PORT ") ? line.mid(5).toUShort() : 0;
    if (port == 0)
        ADD_FAILURE() << qPrintable(script) << " said: " << line.constData();
    return port;
}
void stop(QProcess &process)
{
    process.kill();
    process.waitForFinished(5000);
}
} // namespace

ScriptedServer::ScriptedServer(const QStringList &options)
{
    static QTemporaryDir logs;
    static int serial = 0;
    m_logPath = logs.filePath(QStringLiteral("scripted-%1.log").arg(++serial));
    m_port = startPortPrinter(m_process, qEnvironmentVariable("PURGELET_SCRIPTED_SERVER"),
                              QStringList{QStringLiteral("--log"), m_logPath} + options);
}

DelayedLink::DelayedLink(quint16 targetPort, int oneWayMs)
{
    const QString proxy = QFileInfo(qEnvironmentVariable("PURGELET_SCRIPTED_SERVER")).dir().filePath(QStringLiteral("latency_proxy.py"));
    m_port = startPortPrinter(m_process, proxy, {QStringLiteral("0"), QString::number(targetPort), QString::number(oneWayMs)});
}

DelayedLink::~DelayedLink() { stop(m_process); }

ScriptedServer::~ScriptedServer() { stop(m_process); }

QStringList ScriptedServer::commands() const
{
    QFile file(m_logPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // An empty line is a command too (the answer to a SASL challenge).
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    lines.removeLast();
    return lines;
}

QStringList ScriptedServer::commandsEndingWith(const QString &last) const
{
    QDeadlineTimer deadline(3000);
    QStringList received = commands();
    while ((received.isEmpty() || received.last() != last) && !deadline.hasExpired()) {
        QThread::msleep(10);
        received = commands();
    }
    return received;
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
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible() && modal->objectName() == QLatin1String("CertificateDialog")) {
            d->boxes.append({modal->windowTitle(), modal->findChild<QLabel *>(QStringLiteral("certificateText"))->text(),
                             false, false});
            modal->findChild<QPushButton *>(QLatin1String(certificateButton))->click();
            return;
        }
        auto *box = qobject_cast<QMessageBox *>(modal);
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
