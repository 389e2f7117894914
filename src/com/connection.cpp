#include "com/connection.h"

namespace qel::com {

namespace {

template <class Item>
void CopyItem(Item& dst, const Item& src);

template <>
void CopyItem(CONNECTDATA& dst, const CONNECTDATA& src) {
  dst = src;
  if (dst.pUnk) dst.pUnk->AddRef();
}

template <>
void CopyItem(IConnectionPoint*& dst, IConnectionPoint* const& src) {
  dst = src;
  if (dst) dst->AddRef();
}

void ReleaseItem(CONNECTDATA& item) {
  if (item.pUnk) item.pUnk->Release();
}
void ReleaseItem(IConnectionPoint*& item) {
  if (item) item->Release();
}

// An enumerator over a snapshot of items, each holding one reference.
template <class Interface, class Item>
class Enumerator final : public ComObject<Enumerator<Interface, Item>, Interface> {
 public:
  explicit Enumerator(std::vector<Item> items) : items_(std::move(items)) {}
  ~Enumerator() override {
    for (Item& item : items_)
      ReleaseItem(item);
  }
  HRESULT Next(uint32_t count, Item* out, uint32_t* fetched) override {
    if (!out) return E_POINTER;
    uint32_t n = 0;
    while (n < count && pos_ < items_.size())
      CopyItem(out[n++], items_[pos_++]);
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(uint32_t count) override {
    pos_ += count;
    if (pos_ > items_.size()) {
      pos_ = items_.size();
      return S_FALSE;
    }
    return S_OK;
  }
  HRESULT Reset() override {
    pos_ = 0;
    return S_OK;
  }
  HRESULT Clone(Interface** copy) override {
    if (!copy) return E_POINTER;
    std::vector<Item> items(items_.size());
    for (size_t i = 0; i < items_.size(); ++i)
      CopyItem(items[i], items_[i]);
    auto clone = Enumerator::Create(std::move(items));
    clone->pos_ = pos_;
    *copy = clone.Detach();
    return S_OK;
  }

 private:
  std::vector<Item> items_;
  size_t pos_ = 0;
};

}  // namespace

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = iid_;
  return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (!container) return E_POINTER;
  *container = container_;
  if (!container_) return E_UNEXPECTED;
  container_->AddRef();
  return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, uint32_t* cookie) {
  if (!sink || !cookie) return E_POINTER;
  *cookie = 0;
  ComPtr<IDispatch> dispatch;
  // A sink answers the outgoing interface itself, or at least IDispatch.
  if (Failed(sink->QueryInterface(iid_, dispatch.OutVoid())) &&
      Failed(sink->QueryInterface(IDispatch::kIID, dispatch.OutVoid())))
    return CONNECT_E_CANNOTCONNECT;
  *cookie = nextCookie_++;
  sinks_.push_back({*cookie, std::move(dispatch)});
  return S_OK;
}

HRESULT ConnectionPoint::Unadvise(uint32_t cookie) {
  for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
    if (it->cookie == cookie) {
      sinks_.erase(it);
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** connections) {
  if (!connections) return E_POINTER;
  std::vector<CONNECTDATA> items;
  for (const Sink& s : sinks_) {
    CONNECTDATA d{s.dispatch.get(), s.cookie};
    d.pUnk->AddRef();
    items.push_back(d);
  }
  *connections = Enumerator<IEnumConnections, CONNECTDATA>::Create(std::move(items)).Detach();
  return S_OK;
}

void ConnectionPoint::Fire(DISPID id, std::span<VARIANT> args) {
  if (sinks_.empty()) return;
  // A snapshot: a handler may connect or disconnect while the event is delivered.
  std::vector<ComPtr<IDispatch>> targets;
  targets.reserve(sinks_.size());
  for (const Sink& s : sinks_)
    targets.push_back(s.dispatch);
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  for (const auto& target : targets) {
    DISPPARAMS params{reversed.data(), nullptr, static_cast<uint32_t>(reversed.size()), 0};
    Variant result;
    target->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr,
                   nullptr);
  }
}

EventSource::EventSource(IConnectionPointContainer* owner, REFIID iid)
    : point_(ConnectionPoint::Create(owner, iid)) {}

EventSource::~EventSource() {
  point_->DetachContainer();
}

HRESULT EventSource::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (!points) return E_POINTER;
  IConnectionPoint* only = point_.get();
  only->AddRef();
  *points = Enumerator<IEnumConnectionPoints, IConnectionPoint*>::Create(
                std::vector<IConnectionPoint*>{only})
                .Detach();
  return S_OK;
}

HRESULT EventSource::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  if (!(iid == point_->Iid())) return CONNECT_E_NOCONNECTION;
  *point = point_.CopyOut();
  return S_OK;
}

}  // namespace qel::com
