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

#include "download/MultiThreadDown.h"
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
class TNginx {
 public:
  bool start(const QString& prefix, const QString& root) {
    Port = freeLoopbackPort();
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
  }
}
)")
                               .arg(prefix)
                               .arg(Port)
                               .arg(root);
    if (Port == 0 || !writeFile(prefix + "/nginx.conf", config.toUtf8())) return false;
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(findNginx(), {"-p", prefix, "-c", prefix + "/nginx.conf", "-e", prefix + "/error.log"});
    if (!m_process.waitForStarted(5000)) return false;
    return waitUntilListening();
  }

  ~TNginx() {
    if (m_process.state() == QProcess::NotRunning) return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) m_process.kill();
    m_process.waitForFinished(2000);
  }

  QString output() { return QString::fromLocal8Bit(m_process.readAll()); }
  uint16_t Port = 0;

 private:
  bool waitUntilListening() {
    const Clock::time_point until = Clock::now() + 10s;
    while (Clock::now() < until && m_process.state() == QProcess::Running) {
      QTcpSocket probe;
      probe.connectToHost(QHostAddress::LocalHost, Port);
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

  int32_t download(const QString& name, const QString& target, int32_t hint) {
    DownloadVars vars;
    prepareDownloadVars(vars, hint);
    TMultiThreadDown down(QString("http://%1/pictures/%2").arg(kHost, name), target, vars);
    down.setEndpoints(Endpoints);
    down.start();
    const Clock::time_point start = Clock::now();
    while (vars.Status == kDownloadRunning && Clock::now() - start < 60s) {
      QCoreApplication::processEvents();
      QThread::msleep(5);
    }
    return vars.Status;
  }

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
