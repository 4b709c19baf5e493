// The type library's three identifiers, as the exported constants the COM
// calls take (their values are those of receiver/Guids.h).
#include "receiver/Guids.h"

#include "receiver/IAcceptor.h"

extern "C" const GUID LIBID_QRVX = kLIBID_QRVX;
extern "C" const IID IID_IAcceptor = kIID_IAcceptor;
extern "C" const CLSID CLSID_Acceptor = kCLSID_Acceptor;
