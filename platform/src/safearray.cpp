// SAFEARRAY: a descriptor with its bounds, preceded by 16 hidden bytes whose
// last four hold the element VARTYPE (FADF_HAVEVARTYPE), as oleaut32 lays it
// out. Bounds are stored last dimension first: rgsabound[0] is dimension
// cDims, so SafeArrayRedim changes rgsabound[0].
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kHidden = 16;

ULONG SAFEARRAY_ElemSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1: return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL: return 2;
    case VT_I4:
    case VT_UI4:
    case VT_R4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR: return 4;
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_I8:
    case VT_UI8: return 8;
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN: return sizeof(void*);
    case VT_VARIANT: return sizeof(VARIANT);
    case VT_DECIMAL: return sizeof(DECIMAL);
    default: return 0;
  }
}

USHORT SAFEARRAY_Features(VARTYPE vt) {
  switch (vt) {
    case VT_BSTR: return FADF_HAVEVARTYPE | FADF_BSTR;
    case VT_UNKNOWN: return FADF_HAVEVARTYPE | FADF_UNKNOWN;
    case VT_DISPATCH: return FADF_HAVEIID | FADF_DISPATCH;
    case VT_VARIANT: return FADF_HAVEVARTYPE | FADF_VARIANT;
    default: return FADF_HAVEVARTYPE;
  }
}

VARTYPE& SAFEARRAY_Vartype(SAFEARRAY* psa) {
  return *reinterpret_cast<VARTYPE*>(reinterpret_cast<unsigned char*>(psa) - 4);
}

// Number of cells, or 0 with *overflow set when the product does not fit.
size_t SAFEARRAY_CellCount(const SAFEARRAY* psa, bool* overflow) {
  size_t n = 1;
  *overflow = false;
  for (USHORT d = 0; d < psa->cDims; ++d) {
    size_t c = psa->rgsabound[d].cElements;
    if (c && n > SIZE_MAX / c) {
      *overflow = true;
      return 0;
    }
    n *= c;
  }
  return n;
}

// Releases what the cells from index first on own (strings, interfaces, variants).
void SAFEARRAY_ClearCells(SAFEARRAY* psa, size_t first, size_t count) {
  auto* base = static_cast<unsigned char*>(psa->pvData);
  if (!base) return;
  for (size_t i = first; i < count; ++i) {
    void* cell = base + i * psa->cbElements;
    if (psa->fFeatures & FADF_BSTR) {
      SysFreeString(*static_cast<BSTR*>(cell));
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
      if (auto* p = *static_cast<IUnknown**>(cell)) p->Release();
    } else if (psa->fFeatures & FADF_VARIANT) {
      VariantClear(static_cast<VARIANT*>(cell));
    }
  }
}

SAFEARRAY* SAFEARRAY_AllocDescriptor(UINT cDims) {
  size_t size = kHidden + sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND);
  auto* block = static_cast<unsigned char*>(std::calloc(1, size));
  if (!block) return nullptr;
  auto* psa = reinterpret_cast<SAFEARRAY*>(block + kHidden);
  psa->cDims = static_cast<USHORT>(cDims);
  return psa;
}

void SAFEARRAY_FreeDescriptor(SAFEARRAY* psa) {
  std::free(reinterpret_cast<unsigned char*>(psa) - kHidden);
}

}  // namespace

/***********************************************************************
 * SafeArrayCreate: an array of vt with cDims dimensions (rgsabound given
 * first dimension first), cells zeroed.
 */
WINOLEAUTAPI_(SAFEARRAY*) SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
  ULONG elem = SAFEARRAY_ElemSize(vt);
  if (!cDims || !rgsabound || !elem) return nullptr;
  SAFEARRAY* psa = SAFEARRAY_AllocDescriptor(cDims);
  if (!psa) return nullptr;
  psa->cbElements = elem;
  psa->fFeatures = SAFEARRAY_Features(vt);
  SAFEARRAY_Vartype(psa) = vt;
  for (UINT d = 0; d < cDims; ++d) psa->rgsabound[cDims - 1 - d] = rgsabound[d];
  bool overflow;
  size_t cells = SAFEARRAY_CellCount(psa, &overflow);
  if (overflow || cells > SIZE_MAX / elem) {
    SAFEARRAY_FreeDescriptor(psa);
    return nullptr;
  }
  psa->pvData = std::calloc(cells ? cells : 1, elem);
  if (!psa->pvData) {
    SAFEARRAY_FreeDescriptor(psa);
    return nullptr;
  }
  return psa;
}

WINOLEAUTAPI_(SAFEARRAY*) SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
  SAFEARRAYBOUND b = {cElements, lLbound};
  return SafeArrayCreate(vt, 1, &b);
}

/***********************************************************************
 * SafeArrayDestroy: frees the cells' contents, the data and the descriptor.
 * RETURNS DISP_E_ARRAYISLOCKED while the array is locked.
 */
WINOLEAUTAPI SafeArrayDestroy(SAFEARRAY* psa) {
  if (!psa) return S_OK;
  if (psa->cLocks) return DISP_E_ARRAYISLOCKED;
  bool overflow;
  SAFEARRAY_ClearCells(psa, 0, SAFEARRAY_CellCount(psa, &overflow));
  std::free(psa->pvData);
  SAFEARRAY_FreeDescriptor(psa);
  return S_OK;
}

WINOLEAUTAPI SafeArrayLock(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  if (psa->cLocks >= 0xFFFF) return E_UNEXPECTED;
  ++psa->cLocks;
  return S_OK;
}

WINOLEAUTAPI SafeArrayUnlock(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  if (!psa->cLocks) return E_UNEXPECTED;
  --psa->cLocks;
  return S_OK;
}

WINOLEAUTAPI SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
  if (!psa || !ppvData) return E_INVALIDARG;
  HRESULT hr = SafeArrayLock(psa);
  *ppvData = SUCCEEDED(hr) ? psa->pvData : nullptr;
  return hr;
}

WINOLEAUTAPI SafeArrayUnaccessData(SAFEARRAY* psa) {
  return SafeArrayUnlock(psa);
}

WINOLEAUTAPI SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
  if (!psa || !plLbound) return E_INVALIDARG;
  if (!nDim || nDim > psa->cDims) return DISP_E_BADINDEX;
  *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
  return S_OK;
}

/***********************************************************************
 * SafeArrayGetUBound: lower bound + count - 1 (so -1 below a zero lower
 * bound for an array with no elements).
 */
WINOLEAUTAPI SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
  if (!psa || !plUbound) return E_INVALIDARG;
  if (!nDim || nDim > psa->cDims) return DISP_E_BADINDEX;
  const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - nDim];
  *plUbound = static_cast<LONG>(b.lLbound + static_cast<LONG>(b.cElements) - 1);
  return S_OK;
}

WINOLEAUTAPI_(UINT) SafeArrayGetDim(SAFEARRAY* psa) {
  return psa ? psa->cDims : 0;
}

WINOLEAUTAPI_(UINT) SafeArrayGetElemsize(SAFEARRAY* psa) {
  return psa ? psa->cbElements : 0;
}

WINOLEAUTAPI SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
  if (!psa || !pvt) return E_INVALIDARG;
  if (psa->fFeatures & FADF_HAVEVARTYPE) {
    *pvt = SAFEARRAY_Vartype(psa);
  } else if (psa->fFeatures & FADF_DISPATCH) {
    *pvt = VT_DISPATCH;
  } else {
    return E_INVALIDARG;
  }
  return S_OK;
}

/***********************************************************************
 * SafeArrayRedim: changes the bounds of the last dimension. Cells dropped
 * are released; new cells are zero.
 * RETURNS DISP_E_ARRAYISLOCKED while locked, E_OUTOFMEMORY.
 */
WINOLEAUTAPI SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew) {
  if (!psa || !psaboundNew) return E_INVALIDARG;
  if (psa->cLocks) return DISP_E_ARRAYISLOCKED;
  bool overflow;
  size_t oldCells = SAFEARRAY_CellCount(psa, &overflow);
  size_t rest = 1;  // cells per step of the last dimension
  for (USHORT d = 1; d < psa->cDims; ++d) rest *= psa->rgsabound[d].cElements;
  size_t newCells = rest * psaboundNew->cElements;
  if (psaboundNew->cElements && newCells / psaboundNew->cElements != rest) return E_OUTOFMEMORY;
  if (newCells < oldCells) SAFEARRAY_ClearCells(psa, newCells, oldCells);
  size_t bytes = (newCells ? newCells : 1) * psa->cbElements;
  void* p = std::realloc(psa->pvData, bytes);
  if (!p) return E_OUTOFMEMORY;
  if (newCells > oldCells)
    std::memset(static_cast<unsigned char*>(p) + oldCells * psa->cbElements, 0,
                (newCells - oldCells) * psa->cbElements);
  psa->pvData = p;
  psa->rgsabound[0] = *psaboundNew;
  return S_OK;
}

/***********************************************************************
 * SafeArrayCopy: a deep copy (strings duplicated, interfaces AddRef'd).
 */
WINOLEAUTAPI SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
  if (!ppsaOut) return E_INVALIDARG;
  *ppsaOut = nullptr;
  if (!psa) return S_OK;
  SAFEARRAY* out = SAFEARRAY_AllocDescriptor(psa->cDims);
  if (!out) return E_OUTOFMEMORY;
  out->fFeatures = psa->fFeatures & ~(FADF_AUTO | FADF_STATIC | FADF_EMBEDDED | FADF_FIXEDSIZE);
  out->cbElements = psa->cbElements;
  SAFEARRAY_Vartype(out) = SAFEARRAY_Vartype(psa);
  std::memcpy(out->rgsabound, psa->rgsabound, psa->cDims * sizeof(SAFEARRAYBOUND));
  bool overflow;
  size_t cells = SAFEARRAY_CellCount(psa, &overflow);
  out->pvData = std::malloc((cells ? cells : 1) * psa->cbElements);
  if (!out->pvData) {
    SAFEARRAY_FreeDescriptor(out);
    return E_OUTOFMEMORY;
  }
  auto* src = static_cast<unsigned char*>(psa->pvData);
  auto* dst = static_cast<unsigned char*>(out->pvData);
  if (psa->fFeatures & FADF_BSTR) {
    for (size_t i = 0; i < cells; ++i) {
      BSTR s = reinterpret_cast<BSTR*>(src)[i];
      reinterpret_cast<BSTR*>(dst)[i] =
          s ? SysAllocStringByteLen(reinterpret_cast<LPCSTR>(s), SysStringByteLen(s)) : nullptr;
    }
  } else if (psa->fFeatures & FADF_VARIANT) {
    for (size_t i = 0; i < cells; ++i) {
      VariantInit(&reinterpret_cast<VARIANT*>(dst)[i]);
      VariantCopy(&reinterpret_cast<VARIANT*>(dst)[i], &reinterpret_cast<VARIANT*>(src)[i]);
    }
  } else {
    std::memcpy(dst, src, cells * psa->cbElements);
    if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH))
      for (size_t i = 0; i < cells; ++i)
        if (auto* p = reinterpret_cast<IUnknown**>(dst)[i]) p->AddRef();
  }
  *ppsaOut = out;
  return S_OK;
}

namespace {

HRESULT SAFEARRAY_Cell(SAFEARRAY* psa, LONG* idx, void** cell) {
  if (!psa || !idx) return E_INVALIDARG;
  // idx[0] belongs to the first dimension, stored last, and varies fastest;
  // the dimension stored first (the one SafeArrayRedim changes) varies slowest.
  size_t offset = 0, stride = 1;
  for (USHORT d = 0; d < psa->cDims; ++d) {
    const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - 1 - d];
    int64_t i = static_cast<int64_t>(idx[d]) - b.lLbound;
    if (i < 0 || i >= static_cast<int64_t>(b.cElements)) return DISP_E_BADINDEX;
    offset += static_cast<size_t>(i) * stride;
    stride *= b.cElements;
  }
  *cell = static_cast<unsigned char*>(psa->pvData) + offset * psa->cbElements;
  return S_OK;
}

}  // namespace

WINOLEAUTAPI SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  void* cell;
  HRESULT hr = SAFEARRAY_Cell(psa, rgIndices, &cell);
  if (FAILED(hr)) return hr;
  if (psa->fFeatures & FADF_BSTR) {
    BSTR s = *static_cast<BSTR*>(cell);
    *static_cast<BSTR*>(pv) =
        s ? SysAllocStringByteLen(reinterpret_cast<LPCSTR>(s), SysStringByteLen(s)) : nullptr;
  } else if (psa->fFeatures & FADF_VARIANT) {
    VariantInit(static_cast<VARIANT*>(pv));
    return VariantCopy(static_cast<VARIANT*>(pv), static_cast<VARIANT*>(cell));
  } else {
    std::memcpy(pv, cell, psa->cbElements);
    if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH))
      if (auto* p = *static_cast<IUnknown**>(pv)) p->AddRef();
  }
  return S_OK;
}

WINOLEAUTAPI SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  void* cell;
  HRESULT hr = SAFEARRAY_Cell(psa, rgIndices, &cell);
  if (FAILED(hr)) return hr;
  if (psa->fFeatures & FADF_BSTR) {
    BSTR s = static_cast<BSTR>(pv);
    BSTR copy =
        s ? SysAllocStringByteLen(reinterpret_cast<LPCSTR>(s), SysStringByteLen(s)) : nullptr;
    if (s && !copy) return E_OUTOFMEMORY;
    SysFreeString(*static_cast<BSTR*>(cell));
    *static_cast<BSTR*>(cell) = copy;
  } else if (psa->fFeatures & FADF_VARIANT) {
    return VariantCopy(static_cast<VARIANT*>(cell), static_cast<VARIANT*>(pv));
  } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
    auto* p = static_cast<IUnknown*>(pv);
    if (p) p->AddRef();
    if (auto* old = *static_cast<IUnknown**>(cell)) old->Release();
    *static_cast<IUnknown**>(cell) = p;
  } else {
    std::memcpy(cell, pv, psa->cbElements);
  }
  return S_OK;
}
