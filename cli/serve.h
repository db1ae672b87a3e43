#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <ostream>

#include "cli/bus.h"
#include "cli/commands.h"
#include "cli/request_queue.h"

class QTcpServer;

namespace rs485::cli {

inline constexpr quint16 kDefaultServePort = 4001;
inline constexpr int kMostClients = 8;
// Requests one client may have waiting for the bus; more is a flood.
inline constexpr std::size_t kMostWaitingPerClient = 64;
// How long the first bytes of a request may wait for the rest.
inline constexpr std::chrono::milliseconds kPartialRequestLimit{200};
// How long a request may wait for the port to take it, on top of its reply window.
inline constexpr std::chrono::milliseconds kWriteLimit{2000};

struct ServeSettings {
  QHostAddress address{QHostAddress::LocalHost};
  quint16 port = kDefaultServePort;  // 0: any free one (told in the log)
  std::chrono::milliseconds replyWindow{500};
};

// One owner of the bus for several programs: each client connects as to a
// raw-TCP serial device server and writes the bus's own requests. The server
// puts one request at a time on the bus, in the order of RequestQueue, and
// writes each answer back to the client that asked, whole, and to nobody
// else. A request without an answer in its reply window (counted from its
// last byte leaving the port; an answer begun in time gets its line time)
// is settled with nothing sent back, as on a line; an answer that comes
// after that goes to no one. A client that sends what is no request, leaves
// half a request for kPartialRequestLimit, or has more than
// kMostWaitingPerClient requests waiting is disconnected; every client
// that comes and goes, and why, is a line of the log. Everything runs on
// the thread of the Qt event loop.
class Server : public QObject {
 public:
  Server(Bus& bus, ServeSettings settings, std::ostream& log);
  ~Server() override;
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Starts listening; false, with the system's reason, when it cannot.
  bool listen(QString& error);
  quint16 port() const;
  QString address() const;  // the address listened on, as ADDR:PORT
  int connected() const { return static_cast<int>(clients_.size()); }
  // Requests taken from all clients so far.
  int requestsTaken() const { return requestsTaken_; }

  // Stops listening, parts with every client and settles the request on the bus.
  void close();
  // One line per client that came, then the totals.
  void printSummary() const;

 private:
  struct Client;
  struct Figures {
    QString peer;
    int requests = 0;
    int answers = 0;
    int unanswered = 0;
  };

  void accept();
  void received(Client& client);
  void part(int number, const QString& why);
  void sendNext();
  void written();
  void writeFailed();
  void settleTimedOut();
  void settleNow();  // the request on the bus gets no answer any more
  void replied(const BusReply& reply);
  void line(const QString& text) const;

  Bus& bus_;
  ServeSettings settings_;
  std::ostream& log_;
  std::unique_ptr<QTcpServer> listener_;
  std::map<int, std::unique_ptr<Client>> clients_;  // those connected, by number
  std::map<int, Figures> figures_;                  // every client that came
  int lastNumber_ = 0;
  int requestsTaken_ = 0;
  int refused_ = 0;
  QElapsedTimer lastRefusal_;  // since the last refusal told in the log
  int answersToNoOne_ = 0;
  RequestQueue queue_{kMostWaitingPerClient};
  std::optional<RequestQueue::Turn> onBus_;
  std::uint64_t turns_ = 0;  // requests put on the bus so far
  QTimer settle_;
  bool extended_ = false;  // the reply window has had the answer's line time added
};

// Serves the open bus until a stop; the summary goes to output.err. Exit 3
// when it cannot listen.
int runServe(Bus& bus, const ServeSettings& settings, Output output, StopRequest& stop);

}  // namespace rs485::cli
