// The download engine against a real nginx, started by the test on a free
// loopback port with a configuration of its own.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <memory>
#include <optional>

#include "download/MultiThreadDown.h"
#include "download/PageFetcher.h"
#include "platform/EndpointMap.h"
#include "support/OutsidePrograms.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kHost = "nginx.test";

QString findNginx() {
  const QString onPath = QStandardPaths::findExecutable("nginx");
  if (!onPath.isEmpty()) return onPath;
  return QStandardPaths::findExecutable("nginx", {"/usr/sbin", "/usr/local/sbin", "/sbin"});
}

// Why nginx cannot serve the tests here, or an empty text when it answers "-v".
QString nginxProblem() {
  const QString nginx = findNginx();
  if (nginx.isEmpty()) return "nginx is not installed (Debian package nginx-light)";
  return programProblem(nginx, {"-v"}, "nginx-light");
}

uint16_t freeLoopbackPort() {
  QTcpServer probe;
  if (!probe.listen(QHostAddress::LocalHost, 0)) return 0;
  return probe.serverPort();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
  QFile out(path);
  return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path) {
  QFile in(path);
  return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

// One nginx in the foreground, without a master process, so that it runs
// as whoever runs the test and ends with the test.
bool runOpenssl(const QString& folder, const QStringList& arguments) {
  QProcess openssl;
  openssl.setWorkingDirectory(folder);
  openssl.setProcessChannelMode(QProcess::MergedChannels);
  openssl.start("openssl", arguments);
  return openssl.waitForFinished(30000) && openssl.exitStatus() == QProcess::NormalExit &&
         openssl.exitCode() == 0;
}

// A throwaway authority made for this run, and certificates it signs: one
// for 127.0.0.1 and localhost, one for another name only. A second
// authority signs nothing the server shows.
bool makeCertificates(const QString& folder) {
  const auto authority = [&folder](const QString& name) {
    return runOpenssl(folder, {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                               "/CN=Nimbra test " + name, "-keyout", name + ".key", "-out", name + ".pem"});
  };
  const auto certificate = [&folder](const QString& name, const QString& names) {
    return writeFile(folder + "/" + name + ".ext", ("subjectAltName=" + names + "\n").toUtf8()) &&
           runOpenssl(folder, {"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=" + name, "-keyout",
                               name + ".key", "-out", name + ".csr"}) &&
           runOpenssl(folder,
                      {"x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                       "-CAcreateserial", "-days", "2", "-extfile", name + ".ext", "-out", name + ".pem"});
  };
  return authority("ca") && authority("other-ca") && certificate("loopback", "IP:127.0.0.1,DNS:localhost") &&
         certificate("elsewhere", "DNS:elsewhere.example");
}

// One nginx in the foreground, without a master process, so that it runs
// as whoever runs the test and ends with the test: plain HTTP on Port, TLS
// on TlsPort with the loopback certificate, and on WrongNamePort with a
// certificate for another name. Each redirects one address to the other.
class TNginx {
 public:
  bool start(const QString& prefix, const QString& root) {
    Port = freeLoopbackPort();
    TlsPort = freeLoopbackPort();
    WrongNamePort = freeLoopbackPort();
    const QString config = QString(R"(daemon off;
master_process off;
pid %1/nginx.pid;
error_log %1/error.log;
events { worker_connections 512; }
http {
  access_log off;
  default_type application/octet-stream;
  sendfile on;
  client_body_temp_path %1/body;
  proxy_temp_path %1/proxy;
  fastcgi_temp_path %1/fastcgi;
  uwsgi_temp_path %1/uwsgi;
  scgi_temp_path %1/scgi;
  server {
    listen 127.0.0.1:%2;
    root %3;
    location = /pictures/to-https.jpg { return 301 https://127.0.0.1:%4/pictures/l_tls.jpg; }
  }
  server {
    listen 127.0.0.1:%4 ssl;
    ssl_certificate %1/loopback.pem;
    ssl_certificate_key %1/loopback.key;
    root %3;
    location = /pictures/to-http.jpg { return 302 http://127.0.0.1:%2/pictures/l_tls.jpg; }
    location = /pictures/moved.jpg { return 307 /pictures/l_tls.jpg; }
  }
  server {
    listen 127.0.0.1:%5 ssl;
    ssl_certificate %1/elsewhere.pem;
    ssl_certificate_key %1/elsewhere.key;
    root %3;
  }
}
)")
                               .arg(prefix)
                               .arg(Port)
                               .arg(root)
                               .arg(TlsPort)
                               .arg(WrongNamePort);
    if (Port == 0 || TlsPort == 0 || WrongNamePort == 0) return false;
    if (!makeCertificates(prefix) || !writeFile(prefix + "/nginx.conf", config.toUtf8())) return false;
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(findNginx(), {"-p", prefix, "-c", prefix + "/nginx.conf", "-e", prefix + "/error.log"});
    if (!m_process.waitForStarted(5000)) return false;
    return waitUntilListening(Port) && waitUntilListening(TlsPort) && waitUntilListening(WrongNamePort);
  }

  ~TNginx() {
    if (m_process.state() == QProcess::NotRunning) return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) m_process.kill();
    m_process.waitForFinished(2000);
  }

  QString output() { return QString::fromLocal8Bit(m_process.readAll()); }
  uint16_t Port = 0;
  uint16_t TlsPort = 0;
  uint16_t WrongNamePort = 0;

 private:
  bool waitUntilListening(uint16_t port) {
    const Clock::time_point until = Clock::now() + 10s;
    while (Clock::now() < until && m_process.state() == QProcess::Running) {
      QTcpSocket probe;
      probe.connectToHost(QHostAddress::LocalHost, port);
      if (probe.waitForConnected(200)) return true;
      QThread::msleep(50);
    }
    return false;
  }

  QProcess m_process;
};

class NginxDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const QString problem = nginxProblem(); !problem.isEmpty()) GTEST_SKIP() << problem.toStdString();
    ASSERT_TRUE(Prefix.isValid() && Downloads.isValid());
    ASSERT_TRUE(QDir(Prefix.path()).mkpath("www/pictures"));
    ASSERT_TRUE(Nginx.start(Prefix.path(), Prefix.filePath("www"))) << Nginx.output().toStdString();
    Endpoints->mapHost(kHost, Nginx.Port);
  }

  QByteArray publish(const QString& name, qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(static_cast<quint32>(size) + 7);
    for (char& byte : bytes) byte = static_cast<char>(generator.bounded(256));
    EXPECT_TRUE(writeFile(Prefix.filePath("www/pictures/" + name), bytes));
    return bytes;
  }

  void TearDown() override { qunsetenv("SSL_CERT_FILE"); }

  int32_t download(const QString& name, const QString& target, int32_t hint) {
    return downloadAddress(QString("http://%1/pictures/%2").arg(kHost, name), target, hint);
  }

  int32_t downloadAddress(const QString& address, const QString& target, int32_t hint = 80000) {
    DownloadVars vars;
    prepareDownloadVars(vars, hint);
    TMultiThreadDown down(address, target, vars);
    down.setEndpoints(Endpoints);
    down.start();
    const Clock::time_point start = Clock::now();
    while (vars.Status == kDownloadRunning && Clock::now() - start < 60s) {
      QCoreApplication::processEvents();
      QThread::msleep(5);
    }
    while (!down.finished()) QThread::msleep(1);
    LastReason = down.failureReason();
    return vars.Status;
  }

  QString tls(const QString& path, uint16_t port = 0) const {
    return QString("https://127.0.0.1:%1%2").arg(port == 0 ? Nginx.TlsPort : port).arg(path);
  }
  void trust(const QString& authority) { qputenv("SSL_CERT_FILE", Prefix.filePath(authority).toUtf8()); }

  std::string LastReason;

  QTemporaryDir Prefix;
  QTemporaryDir Downloads;
  TNginx Nginx;
  std::shared_ptr<EndpointMap> Endpoints = std::make_shared<EndpointMap>();
};

}  // namespace

TEST_F(NginxDownloadTest, DownloadsMatchTheServedFilesByteForByte) {
  for (const auto& [size, hint] : {std::pair<qsizetype, int32_t>{0, 80000},
                                   {1, 80000},
                                   {79999, 80000},
                                   {500000, 80000},
                                   {3000001, 100000},
                                   {7340033, 80000}}) {
    SCOPED_TRACE(size);
    const QString name = QString("l_%1.jpg").arg(size);
    const QByteArray served = publish(name, size);
    const QString target = Downloads.filePath(name);
    EXPECT_EQ(download(name, target, hint), kDownloadSucceeded);
    EXPECT_EQ(readFile(target), served);
  }
  EXPECT_TRUE(QDir(Downloads.path()).entryList({"*.$$$.temp.*"}, QDir::Files).isEmpty());
}

TEST_F(NginxDownloadTest, AMissingFileFailsAndLeavesNothing) {
  const QString target = Downloads.filePath("l_404.jpg");
  EXPECT_EQ(download("l_404.jpg", target, 80000), kDownloadFailed);
  EXPECT_FALSE(QFile::exists(target));
  EXPECT_TRUE(QDir(Downloads.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty());
}

// --- TLS ---------------------------------------------------------------------

TEST_F(NginxDownloadTest, HttpsDownloadsMatchTheServedFilesByteForByte) {
  trust("ca.pem");
  for (const auto& [size, hint] :
       {std::pair<qsizetype, int32_t>{0, 80000}, {1, 80000}, {500000, 80000}, {3000001, 100000}}) {
    SCOPED_TRACE(size);
    const QString name = QString("l_%1.jpg").arg(size);
    const QByteArray served = publish(name, size);
    const QString target = Downloads.filePath(name);
    EXPECT_EQ(downloadAddress(tls("/pictures/" + name), target, hint), kDownloadSucceeded) << LastReason;
    EXPECT_EQ(readFile(target), served);
  }
  EXPECT_TRUE(QDir(Downloads.path()).entryList({"*.$$$.temp.*"}, QDir::Files).isEmpty());
}

TEST_F(NginxDownloadTest, ACertificateThatDoesNotVerifyFailsWithTheReasonAndLeavesNothing) {
  publish("l_tls.jpg", 300000);
  const QString target = Downloads.filePath("l_tls.jpg");
  trust("other-ca.pem");
  EXPECT_EQ(downloadAddress(tls("/pictures/l_tls.jpg"), target), kDownloadFailed);
  EXPECT_NE(LastReason.find("certificate is not accepted"), std::string::npos) << LastReason;
  EXPECT_NE(LastReason.find("local issuer"), std::string::npos) << LastReason;
  // Signed by the trusted authority, but for another name.
  trust("ca.pem");
  EXPECT_EQ(downloadAddress(tls("/pictures/l_tls.jpg", Nginx.WrongNamePort), target), kDownloadFailed);
  EXPECT_NE(LastReason.find("mismatch"), std::string::npos) << LastReason;
  EXPECT_TRUE(QDir(Downloads.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty());
}

TEST_F(NginxDownloadTest, HttpToHttpsIsFollowedAndHttpsToHttpIsRefused) {
  trust("ca.pem");
  const QByteArray served = publish("l_tls.jpg", 700000);
  const QString target = Downloads.filePath("l_tls.jpg");
  EXPECT_EQ(downloadAddress(QString("http://127.0.0.1:%1/pictures/to-https.jpg").arg(Nginx.Port), target),
            kDownloadSucceeded)
      << LastReason;
  EXPECT_EQ(readFile(target), served);
  EXPECT_EQ(downloadAddress(tls("/pictures/moved.jpg"), target), kDownloadSucceeded) << LastReason;
  EXPECT_EQ(readFile(target), served);
  EXPECT_EQ(downloadAddress(tls("/pictures/to-http.jpg"), target), kDownloadFailed);
  EXPECT_NE(LastReason.find("https to http"), std::string::npos) << LastReason;
  EXPECT_FALSE(QFile::exists(target));
}

TEST_F(NginxDownloadTest, PagesComeOverHttpsButNeverDownToHttp) {
  trust("ca.pem");
  const QByteArray page = "<html>" + QByteArray(20000, 'p') + "</html>";
  ASSERT_TRUE(writeFile(Prefix.filePath("www/pictures/ver.htm"), page));
  ASSERT_TRUE(writeFile(Prefix.filePath("www/pictures/l_tls.jpg"), page));
  PageFetcher fetcher;
  std::optional<QByteArray> arrived;
  QObject::connect(&fetcher, &PageFetcher::downloadComplete,
                   [&arrived](const QByteArray& bytes) { arrived = bytes; });
  const auto fetch = [&](const QString& address) {
    arrived.reset();
    fetcher.navigate(address);
    const Clock::time_point until = Clock::now() + 30s;
    while (!arrived && Clock::now() < until)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return arrived.value_or("(nothing)");
  };
  EXPECT_EQ(fetch(tls("/pictures/ver.htm")), page);
  EXPECT_EQ(fetch(QString("http://127.0.0.1:%1/pictures/to-https.jpg").arg(Nginx.Port)), page);
  EXPECT_EQ(fetch(tls("/pictures/to-http.jpg")), QByteArray());
  trust("other-ca.pem");
  EXPECT_EQ(fetch(tls("/pictures/ver.htm")), QByteArray());
}
