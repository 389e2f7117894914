// The runtime's own interfaces: IUnknown, IDispatch with its type information,
// error information, connection points, class information and class factories.
// Each interface is an abstract class whose pure virtual members are in vtable
// order and carries its identifier as kIID.
#pragma once

#include "com/safearray.h"
#include "com/variant.h"

namespace qel::com {

struct IUnknown {
  static constexpr IID kIID = MakeGuid("{00000000-0000-0000-C000-000000000046}");
  virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;  // objects are destroyed through Release only
};

struct DISPPARAMS {
  VARIANTARG* rgvarg;         // arguments in reverse order
  DISPID* rgdispidNamedArgs;  // identifiers of the named arguments (the first cNamedArgs)
  uint32_t cArgs;
  uint32_t cNamedArgs;
};

struct EXCEPINFO {
  uint16_t wCode;
  uint16_t wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  uint32_t dwHelpContext;
  void* pvReserved;
  HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
  HRESULT scode;
};

// Type information, reduced to the descriptions a late-bound client needs to tell
// properties from methods and count parameters.
enum TYPEKIND : int32_t {
  TKIND_ENUM,
  TKIND_RECORD,
  TKIND_MODULE,
  TKIND_INTERFACE,
  TKIND_DISPATCH,
  TKIND_COCLASS
};
enum INVOKEKIND : int32_t {
  INVOKE_FUNC = 1,
  INVOKE_PROPERTYGET = 2,
  INVOKE_PROPERTYPUT = 4,
  INVOKE_PROPERTYPUTREF = 8
};
enum FUNCKIND : int32_t {
  FUNC_VIRTUAL,
  FUNC_PUREVIRTUAL,
  FUNC_NONVIRTUAL,
  FUNC_STATIC,
  FUNC_DISPATCH
};

inline constexpr uint16_t PARAMFLAG_FIN = 0x1;
inline constexpr uint16_t PARAMFLAG_FOUT = 0x2;
inline constexpr uint16_t PARAMFLAG_FRETVAL = 0x8;
inline constexpr uint16_t PARAMFLAG_FOPT = 0x10;

struct TYPEDESC {
  union {
    TYPEDESC* lptdesc;
    uint32_t hreftype;
  };
  VARTYPE vt;
};
struct PARAMDESC {
  void* pparamdescex;
  uint16_t wParamFlags;
};
struct ELEMDESC {
  TYPEDESC tdesc;
  PARAMDESC paramdesc;
};
struct TYPEATTR {
  GUID guid;
  LCID lcid;
  uint32_t dwReserved;
  DISPID memidConstructor;
  DISPID memidDestructor;
  OLECHAR* lpstrSchema;
  uint32_t cbSizeInstance;
  TYPEKIND typekind;
  uint16_t cFuncs;
  uint16_t cVars;
  uint16_t cImplTypes;
  uint16_t cbSizeVft;
  uint16_t cbAlignment;
  uint16_t wTypeFlags;
  uint16_t wMajorVerNum;
  uint16_t wMinorVerNum;
};
struct FUNCDESC {
  DISPID memid;
  HRESULT* lprgscode;
  ELEMDESC* lprgelemdescParam;
  FUNCKIND funckind;
  INVOKEKIND invkind;
  int32_t callconv;
  int16_t cParams;
  int16_t cParamsOpt;
  int16_t oVft;
  int16_t cScodes;
  ELEMDESC elemdescFunc;
  uint16_t wFuncFlags;
};

struct ITypeInfo : IUnknown {
  static constexpr IID kIID = MakeGuid("{00020401-0000-0000-C000-000000000046}");
  virtual HRESULT GetTypeAttr(TYPEATTR** attr) = 0;
  virtual HRESULT GetFuncDesc(uint32_t index, FUNCDESC** desc) = 0;
  // Names of the member and then of its parameters.
  virtual HRESULT GetNames(DISPID id, BSTR* names, uint32_t maxNames, uint32_t* count) = 0;
  virtual HRESULT GetIDsOfNames(OLECHAR** names, uint32_t count, DISPID* ids) = 0;
  virtual HRESULT GetDocumentation(DISPID id, BSTR* name, BSTR* doc, uint32_t* helpContext,
                                   BSTR* helpFile) = 0;
  virtual void ReleaseTypeAttr(TYPEATTR* attr) = 0;
  virtual void ReleaseFuncDesc(FUNCDESC* desc) = 0;

 protected:
  ~ITypeInfo() = default;
};

struct IDispatch : IUnknown {
  static constexpr IID kIID = MakeGuid("{00020400-0000-0000-C000-000000000046}");
  virtual HRESULT GetTypeInfoCount(uint32_t* count) = 0;
  virtual HRESULT GetTypeInfo(uint32_t index, LCID lcid, ITypeInfo** info) = 0;
  virtual HRESULT GetIDsOfNames(REFIID iid, OLECHAR** names, uint32_t count, LCID lcid,
                                DISPID* ids) = 0;
  virtual HRESULT Invoke(DISPID id, REFIID iid, LCID lcid, uint16_t flags, DISPPARAMS* params,
                         VARIANT* result, EXCEPINFO* excepInfo, uint32_t* argErr) = 0;

 protected:
  ~IDispatch() = default;
};

struct IErrorInfo : IUnknown {
  static constexpr IID kIID = MakeGuid("{1CF2B120-547D-101B-8E65-08002B2BD119}");
  virtual HRESULT GetGUID(GUID* guid) = 0;
  virtual HRESULT GetSource(BSTR* source) = 0;
  virtual HRESULT GetDescription(BSTR* description) = 0;
  virtual HRESULT GetHelpFile(BSTR* helpFile) = 0;
  virtual HRESULT GetHelpContext(uint32_t* helpContext) = 0;

 protected:
  ~IErrorInfo() = default;
};

struct ICreateErrorInfo : IUnknown {
  static constexpr IID kIID = MakeGuid("{22F03340-547D-101B-8E65-08002B2BD119}");
  virtual HRESULT SetGUID(REFIID guid) = 0;
  virtual HRESULT SetSource(const OLECHAR* source) = 0;
  virtual HRESULT SetDescription(const OLECHAR* description) = 0;
  virtual HRESULT SetHelpFile(const OLECHAR* helpFile) = 0;
  virtual HRESULT SetHelpContext(uint32_t helpContext) = 0;

 protected:
  ~ICreateErrorInfo() = default;
};

struct ISupportErrorInfo : IUnknown {
  static constexpr IID kIID = MakeGuid("{DF0B3D60-548F-101B-8E65-08002B2BD119}");
  virtual HRESULT InterfaceSupportsErrorInfo(REFIID iid) = 0;

 protected:
  ~ISupportErrorInfo() = default;
};

struct IConnectionPointContainer;
struct CONNECTDATA {
  IUnknown* pUnk;
  uint32_t dwCookie;
};

struct IEnumConnections : IUnknown {
  static constexpr IID kIID = MakeGuid("{B196B287-BAB4-101A-B69C-00AA00341D07}");
  virtual HRESULT Next(uint32_t count, CONNECTDATA* items, uint32_t* fetched) = 0;
  virtual HRESULT Skip(uint32_t count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumConnections** copy) = 0;

 protected:
  ~IEnumConnections() = default;
};

struct IConnectionPoint : IUnknown {
  static constexpr IID kIID = MakeGuid("{B196B286-BAB4-101A-B69C-00AA00341D07}");
  virtual HRESULT GetConnectionInterface(IID* iid) = 0;
  virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) = 0;
  virtual HRESULT Advise(IUnknown* sink, uint32_t* cookie) = 0;
  virtual HRESULT Unadvise(uint32_t cookie) = 0;
  virtual HRESULT EnumConnections(IEnumConnections** connections) = 0;

 protected:
  ~IConnectionPoint() = default;
};

struct IEnumConnectionPoints : IUnknown {
  static constexpr IID kIID = MakeGuid("{B196B285-BAB4-101A-B69C-00AA00341D07}");
  virtual HRESULT Next(uint32_t count, IConnectionPoint** items, uint32_t* fetched) = 0;
  virtual HRESULT Skip(uint32_t count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumConnectionPoints** copy) = 0;

 protected:
  ~IEnumConnectionPoints() = default;
};

struct IConnectionPointContainer : IUnknown {
  static constexpr IID kIID = MakeGuid("{B196B284-BAB4-101A-B69C-00AA00341D07}");
  virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) = 0;
  virtual HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) = 0;

 protected:
  ~IConnectionPointContainer() = default;
};

inline constexpr uint32_t GUIDKIND_DEFAULT_SOURCE_DISP_IID = 1;

struct IProvideClassInfo : IUnknown {
  static constexpr IID kIID = MakeGuid("{B196B283-BAB4-101A-B69C-00AA00341D07}");
  virtual HRESULT GetClassInfo(ITypeInfo** info) = 0;

 protected:
  ~IProvideClassInfo() = default;
};

struct IProvideClassInfo2 : IProvideClassInfo {
  using Base = IProvideClassInfo;
  static constexpr IID kIID = MakeGuid("{A6BC3AC0-DBAA-11CE-9DE3-00AA004BB851}");
  virtual HRESULT GetGUID(uint32_t kind, GUID* guid) = 0;

 protected:
  ~IProvideClassInfo2() = default;
};

struct IClassFactory : IUnknown {
  static constexpr IID kIID = MakeGuid("{00000001-0000-0000-C000-000000000046}");
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) = 0;
  virtual HRESULT LockServer(int32_t lock) = 0;

 protected:
  ~IClassFactory() = default;
};

}  // namespace qel::com
