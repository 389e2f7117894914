// Connection points: the outgoing side of an object. Sinks are kept in the order
// they connected and every event goes to each of them in that order.
#pragma once

#include <span>
#include <vector>

#include "com/object.h"

namespace qel::com {

class ConnectionPoint final : public ComObject<ConnectionPoint, IConnectionPoint> {
 public:
  ConnectionPoint(IConnectionPointContainer* container, REFIID iid)
      : container_(container), iid_(iid) {}

  HRESULT GetConnectionInterface(IID* iid) override;
  HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override;
  HRESULT Advise(IUnknown* sink, uint32_t* cookie) override;
  HRESULT Unadvise(uint32_t cookie) override;
  HRESULT EnumConnections(IEnumConnections** connections) override;

  // Calls every connected sink with the event id and its arguments, given in
  // declaration order (they are reversed for the call, as dispatch requires).
  // Results of the sinks are ignored.
  void Fire(DISPID id, std::span<VARIANT> args);
  size_t SinkCount() const { return sinks_.size(); }
  const IID& Iid() const { return iid_; }
  // The owner is going away: the point no longer names it.
  void DetachContainer() { container_ = nullptr; }

 private:
  struct Sink {
    uint32_t cookie;
    ComPtr<IDispatch> dispatch;
  };
  IConnectionPointContainer* container_;  // not owned: the container owns this point
  IID iid_;
  uint32_t nextCookie_ = 1;
  std::vector<Sink> sinks_;
};

// The connection-point container part of an object with one outgoing interface.
class EventSource {
 public:
  EventSource(IConnectionPointContainer* owner, REFIID iid);
  ~EventSource();
  EventSource(const EventSource&) = delete;
  EventSource& operator=(const EventSource&) = delete;

  HRESULT EnumConnectionPoints(IEnumConnectionPoints** points);
  HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point);
  void Fire(DISPID id, std::span<VARIANT> args) { point_->Fire(id, args); }
  ConnectionPoint& Point() { return *point_; }

 private:
  ComPtr<ConnectionPoint> point_;
};

}  // namespace qel::com
