#include "cli/serve.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <array>
#include <vector>

#include "cli/probe.h"
#include "cli/request_stream.h"
#include "protocol/readings.h"

namespace rs485::cli {

namespace {

int ceilMs(std::chrono::microseconds time) { return static_cast<int>((time.count() + 999) / 1000); }

QString hostAndPort(const QHostAddress& address, quint16 port) {
  const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                           ? QStringLiteral("[%1]").arg(address.toString())
                           : address.toString();
  return QStringLiteral("%1:%2").arg(host).arg(port);
}

QString faultText(RequestStream::Fault fault) {
  switch (fault) {
    case RequestStream::Fault::BadAddress:
      return QCoreApplication::translate("rs485-cli", "a request to no bus address (1..247)");
    case RequestStream::Fault::UnknownCommand:
      return QCoreApplication::translate("rs485-cli", "an unknown command");
    case RequestStream::Fault::BadCrc:
      return QCoreApplication::translate("rs485-cli", "a request with a bad CRC");
    case RequestStream::Fault::None:
      break;
  }
  return {};
}

// The answer's frame as it came: every byte of it is a field of the decoded
// answer or the CRC over them, so encoding the answer again gives it back.
QByteArray answerFrame(const BusReply& reply) {
  std::array<std::uint8_t, kReadingsResponseLength> frame{};
  std::size_t length = 0;
  if (reply.readings) {
    encodeReadingsResponse(*reply.readings, frame.data());
    length = kReadingsResponseLength;
  } else if (reply.status) {
    encodeStatusResponse(*reply.status, frame.data());
    length = kStatusResponseLength;
  }
  return {reinterpret_cast<const char*>(frame.data()), static_cast<qsizetype>(length)};
}

// Refusals are told at most once a second: a program that is refused
// usually connects again at once, and again.
constexpr qint64 kRefusalLogPauseMs = 1000;

}  // namespace

struct Server::Client {
  int number = 0;
  QTcpSocket* socket = nullptr;  // owned by the server's listener
  RequestStream stream;
  QTimer partial;  // runs while half a request waits for the rest
};

Server::Server(Bus& bus, ServeSettings settings, std::ostream& log)
    : bus_(bus), settings_(std::move(settings)), log_(log), listener_(std::make_unique<QTcpServer>()) {
  settle_.setSingleShot(true);
  settle_.setTimerType(Qt::PreciseTimer);
  connect(&settle_, &QTimer::timeout, this, [this] { settleTimedOut(); });
  connect(listener_.get(), &QTcpServer::newConnection, this, [this] { accept(); });
  bus_.onReply = [this](const BusReply& reply) { replied(reply); };
  bus_.onRequestWritten = [this] { written(); };
  bus_.onSendFailed = [this] { writeFailed(); };
  bus_.onUnasked = [this](int address) {
    ++answersToNoOne_;
    line(QCoreApplication::translate(
             "rs485-cli",
             "an answer of device %1 came outside its request (late or unasked); it goes to no one")
             .arg(address));
  };
}

Server::~Server() {
  close();
  bus_.onReply = nullptr;
  bus_.onRequestWritten = nullptr;
  bus_.onSendFailed = nullptr;
  bus_.onUnasked = nullptr;
}

bool Server::listen(QString& error) {
  if (listener_->listen(settings_.address, settings_.port)) return true;
  error = listener_->errorString();
  return false;
}

quint16 Server::port() const { return listener_->serverPort(); }

QString Server::address() const { return hostAndPort(listener_->serverAddress(), listener_->serverPort()); }

void Server::line(const QString& text) const {
  log_ << "serve: " << text.toStdString() << '\n';
  log_.flush();
}

void Server::accept() {
  while (QTcpSocket* socket = listener_->nextPendingConnection()) {
    const QString peer = hostAndPort(socket->peerAddress(), socket->peerPort());
    if (connected() >= kMostClients) {
      ++refused_;
      if (!lastRefusal_.isValid() || lastRefusal_.elapsed() >= kRefusalLogPauseMs) {
        lastRefusal_.start();
        line(QCoreApplication::translate("rs485-cli", "%1 refused: %2 clients are connected already")
                 .arg(peer)
                 .arg(kMostClients));
      }
      socket->abort();
      socket->deleteLater();
      continue;
    }
    auto client = std::make_unique<Client>();
    const int number = ++lastNumber_;
    client->number = number;
    client->socket = socket;
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    client->partial.setSingleShot(true);
    connect(&client->partial, &QTimer::timeout, this, [this, number] {
      part(number, QCoreApplication::translate("rs485-cli", "half a request for %1 ms")
                       .arg(kPartialRequestLimit.count()));
    });
    connect(socket, &QTcpSocket::readyRead, this, [this, number] {
      if (const auto it = clients_.find(number); it != clients_.end()) received(*it->second);
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, number] { part(number, {}); });
    figures_[number].peer = peer;
    clients_[number] = std::move(client);
    line(QCoreApplication::translate("rs485-cli", "client %1 (%2) connected").arg(number).arg(peer));
  }
}

void Server::received(Client& client) {
  const QByteArray bytes = client.socket->readAll();
  std::vector<BusRequest> requests;
  const RequestStream::Fault fault =
      client.stream.take(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                   static_cast<std::size_t>(bytes.size())),
                         requests);
  const int number = client.number;
  for (const BusRequest& request : requests) {
    if (!queue_.push(number, request)) {
      part(number, QCoreApplication::translate("rs485-cli", "more than %1 requests waiting")
                       .arg(kMostWaitingPerClient));
      return;
    }
    ++figures_[number].requests;
    ++requestsTaken_;
  }
  if (fault != RequestStream::Fault::None) {
    part(number, faultText(fault));
    return;
  }
  // The bound counts from the first byte of the request that is not whole.
  if (client.stream.pending() == 0) {
    client.partial.stop();
  } else if (!requests.empty() || !client.partial.isActive()) {
    client.partial.start(kPartialRequestLimit);
  }
  sendNext();
}

void Server::part(int number, const QString& why) {
  const auto it = clients_.find(number);
  if (it == clients_.end()) return;
  std::unique_ptr<Client> client = std::move(it->second);
  clients_.erase(it);
  queue_.remove(number);
  const QString who = QStringLiteral("%1 (%2)").arg(number).arg(figures_[number].peer);
  if (why.isEmpty()) {
    line(QCoreApplication::translate("rs485-cli", "client %1 left").arg(who));
  } else {
    line(QCoreApplication::translate("rs485-cli", "client %1 disconnected: %2").arg(who, why));
  }
  client->socket->disconnect(this);
  client->socket->abort();
  client->socket->deleteLater();
}

void Server::sendNext() {
  if (onBus_ || !bus_.session.isOpen()) return;
  onBus_ = queue_.next();
  if (!onBus_) return;
  ++turns_;
  extended_ = false;
  bus_.exchange.sendRequest(onBus_->request);
  // A write that neither completes nor fails does not hold the others for
  // ever; a loaded machine may take a while to write, which is no device's fault.
  if (onBus_) settle_.start(static_cast<int>((kWriteLimit + settings_.replyWindow).count()));
}

void Server::writeFailed() {
  // A line that takes no write (an adapter pulled out) answers nothing:
  // the request is settled at once and the next one tries the line again.
  if (onBus_) settleNow();
}

void Server::written() {
  if (!onBus_) return;
  settle_.start(ceilMs(lineTime(onBus_->request.frameLength())) +
                static_cast<int>(settings_.replyWindow.count()));
}

void Server::settleTimedOut() {
  if (!onBus_) return;
  // An answer on its way gets the time it takes on the line.
  if (!extended_ && bus_.exchange.inputQueued() > 0) {
    extended_ = true;
    settle_.start(ceilMs(lineTime(onBus_->request.answerLength())));
    return;
  }
  // An answer that the receive thread has already taken off the line waits
  // in the event queue to be handed over: it goes first.
  QMetaObject::invokeMethod(
      this,
      [this, turn = turns_] {
        if (onBus_ && turns_ == turn) settleNow();
      },
      Qt::QueuedConnection);
}

void Server::settleNow() {
  bus_.exchange.purgeInput();
  bus_.exchange.settleRequest();  // its reply comes in replied()
  if (onBus_) replied({.request = onBus_->request, .kind = BusReply::Kind::Silent});
}

void Server::replied(const BusReply& reply) {
  if (!onBus_) return;
  settle_.stop();
  const int number = onBus_->client;
  onBus_.reset();
  Figures& figures = figures_[number];
  if (reply.answered()) {
    ++figures.answers;
    if (const auto it = clients_.find(number); it != clients_.end()) {
      const QByteArray frame = answerFrame(reply);
      it->second->socket->write(frame);
    }
  } else {
    ++figures.unanswered;
  }
  // The next request goes out once the engine has done with this answer.
  QMetaObject::invokeMethod(
      this, [this] { sendNext(); }, Qt::QueuedConnection);
}

void Server::close() {
  listener_->close();
  while (!clients_.empty())
    part(clients_.begin()->first, QCoreApplication::translate("rs485-cli", "the server stops"));
  if (onBus_) settleNow();
  settle_.stop();
}

void Server::printSummary() const {
  int requests = 0;
  int answers = 0;
  for (const auto& [number, f] : figures_) {
    line(QCoreApplication::translate("rs485-cli",
                                     "client %1 (%2): %3 requests, %4 answers, %5 without an answer")
             .arg(number)
             .arg(f.peer)
             .arg(f.requests)
             .arg(f.answers)
             .arg(f.unanswered));
    requests += f.requests;
    answers += f.answers;
  }
  line(QCoreApplication::translate(
           "rs485-cli", "%1 clients, %2 requests, %3 answers; %4 refused; %5 answers went to no one")
           .arg(figures_.size())
           .arg(requests)
           .arg(answers)
           .arg(refused_)
           .arg(answersToNoOne_));
}

int runServe(Bus& bus, const ServeSettings& settings, Output output, StopRequest& stop) {
  Server server(bus, settings, output.err);
  QString error;
  if (!server.listen(error)) {
    output.err << "serve: "
               << QCoreApplication::translate("rs485-cli", "cannot listen on %1: %2")
                      .arg(hostAndPort(settings.address, settings.port), error)
                      .toStdString()
               << '\n';
    return kExitUnavailable;
  }
  output.err
      << "serve: "
      << QCoreApplication::translate("rs485-cli", "listening on %1").arg(server.address()).toStdString()
      << '\n';
  output.err.flush();
  QEventLoop loop;
  stop.wake = [&] { loop.quit(); };
  if (!stop.requested) loop.exec();
  stop.wake = nullptr;
  server.close();
  server.printSummary();
  return kExitOk;
}

}  // namespace rs485::cli
