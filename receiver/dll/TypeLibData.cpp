// The type library for the platform layer, the same as receiver/qrvx.idl
// describes it (LoadTypeLib of this library reads it). Exported as
// QrvxTypeLibData; the Windows build carries the widl-compiled library instead.
#include <windows.h>

#include "receiver/Guids.h"
#include "receiver/IAcceptor.h"

// The identifiers are the constants of receiver/Guids.h: the data must be
// complete before any constructor of the library runs, so it cannot copy
// IID_IAcceptor & co.
namespace {

// clang-format off
const QRVX_PARAMDATA kProcessRequest[] = {{"Request", VT_VARIANT, PARAMFLAG_FIN}};
const QRVX_PARAMDATA kDBFCount[] = {{"Value", VT_BYREF | VT_I4, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const QRVX_PARAMDATA kDBFName[] = {{"DBFID", VT_VARIANT, PARAMFLAG_FIN}, {"Value", VT_BYREF | VT_BSTR, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const QRVX_PARAMDATA kDBFColCount[] = {{"DBFID", VT_VARIANT, PARAMFLAG_FIN}, {"Value", VT_BYREF | VT_I4, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const QRVX_PARAMDATA kDBFRowCount[] = {{"DBFID", VT_VARIANT, PARAMFLAG_FIN}, {"Value", VT_BYREF | VT_I4, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const QRVX_PARAMDATA kDBFColName[] = {{"DBFID", VT_VARIANT, PARAMFLAG_FIN}, {"FieldID", VT_VARIANT, PARAMFLAG_FIN}, {"Value", VT_BYREF | VT_BSTR, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const QRVX_PARAMDATA kDBF[] = {{"DBFID", VT_VARIANT, PARAMFLAG_FIN}, {"FieldID", VT_VARIANT, PARAMFLAG_FIN}, {"Value", VT_BYREF | VT_VARIANT, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const QRVX_PARAMDATA kVarCount[] = {{"Value", VT_BYREF | VT_I4, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const QRVX_PARAMDATA kVarName[] = {{"VarID", VT_VARIANT, PARAMFLAG_FIN}, {"Value", VT_BYREF | VT_BSTR, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const QRVX_PARAMDATA kVarValue[] = {{"VarID", VT_VARIANT, PARAMFLAG_FIN}, {"Value", VT_BYREF | VT_BSTR, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const QRVX_PARAMDATA kDBFRowGet[] = {{"DBFID", VT_VARIANT, PARAMFLAG_FIN}, {"Value", VT_BYREF | VT_I4, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const QRVX_PARAMDATA kDBFRowPut[] = {{"DBFID", VT_VARIANT, PARAMFLAG_FIN}, {nullptr, VT_I4, PARAMFLAG_FIN}};
const QRVX_PARAMDATA kDBFVarName[] = {{"DBFID", VT_VARIANT, PARAMFLAG_FIN}, {"Value", VT_BYREF | VT_BSTR, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const QRVX_PARAMDATA kFileCount[] = {{"Value", VT_BYREF | VT_I4, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const QRVX_PARAMDATA kFileName[] = {{"FileID", VT_VARIANT, PARAMFLAG_FIN}, {"Value", VT_BYREF | VT_BSTR, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const QRVX_PARAMDATA kFileSaveTo[] = {{"FileID", VT_VARIANT, PARAMFLAG_FIN}, {"FileName", VT_BSTR, PARAMFLAG_FIN}, {"Value", VT_BYREF | VT_BOOL, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const QRVX_PARAMDATA kFileSize[] = {{"FileID", VT_VARIANT, PARAMFLAG_FIN}, {"Value", VT_BYREF | VT_I4, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const QRVX_PARAMDATA kFileRead[] = {{"FileID", VT_VARIANT, PARAMFLAG_FIN}, {"StartPos", VT_I4, PARAMFLAG_FIN}, {"Size", VT_I4, PARAMFLAG_FIN}, {"Value", VT_BYREF | VT_VARIANT, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const QRVX_PARAMDATA kFileVarName[] = {{"FileID", VT_VARIANT, PARAMFLAG_FIN}, {"Value", VT_BYREF | VT_BSTR, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const QRVX_PARAMDATA kFilePath[] = {{"FileID", VT_VARIANT, PARAMFLAG_FIN}, {"Value", VT_BYREF | VT_BSTR, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const QRVX_PARAMDATA kProcessZIPGet[] = {{"Value", VT_BYREF | VT_BOOL, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const QRVX_PARAMDATA kProcessZIPPut[] = {{nullptr, VT_BOOL, PARAMFLAG_FIN}};
const QRVX_PARAMDATA kProcessDBFGet[] = {{"Value", VT_BYREF | VT_BOOL, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const QRVX_PARAMDATA kProcessDBFPut[] = {{nullptr, VT_BOOL, PARAMFLAG_FIN}};
const QRVX_PARAMDATA kVersion[] = {{"Value", VT_BYREF | VT_BSTR, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const QRVX_PARAMDATA kFileReadText[] = {{"FileID", VT_VARIANT, PARAMFLAG_FIN}, {"StartPos", VT_I4, PARAMFLAG_FIN}, {"Size", VT_I4, PARAMFLAG_FIN}, {"Value", VT_BYREF | VT_BSTR, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};

const QRVX_FUNCDATA kAcceptorFuncs[] = {
    {"ProcessRequest", 1, INVOKE_FUNC, "Process data received as a part of POST data stream. All data expected to be in \"multipart/form-data\" format ( <form ENCTYPE=\"multipart/form-data\"...>).", 1, kProcessRequest},
    {"DBFCount", 2, INVOKE_FUNC, "Number of DBF data tables received", 1, kDBFCount},
    {"DBFName", 3, INVOKE_FUNC, "DBF data table name", 2, kDBFName},
    {"DBFColCount", 4, INVOKE_FUNC, "Number of columns", 2, kDBFColCount},
    {"DBFRowCount", 5, INVOKE_FUNC, "Nomber of rows", 2, kDBFRowCount},
    {"DBFColName", 6, INVOKE_FUNC, "DBF data table column name", 3, kDBFColName},
    {"DBF", 7, INVOKE_FUNC, "Value of column in current row", 3, kDBF},
    {"VarCount", 9, INVOKE_FUNC, "Number of variables in POST data stream", 1, kVarCount},
    {"VarName", 10, INVOKE_FUNC, "Variable name", 2, kVarName},
    {"VarValue", 11, INVOKE_FUNC, "Variable value", 2, kVarValue},
    {"DBFRow", 12, INVOKE_PROPERTYGET, "Current data table row", 2, kDBFRowGet},
    {"DBFRow", 12, INVOKE_PROPERTYPUT, "Current data table row", 2, kDBFRowPut},
    {"DBFVarName", 13, INVOKE_FUNC, "HTML form field name for DBF table ", 2, kDBFVarName},
    {"FileCount", 18, INVOKE_FUNC, "Number of files in POST data stream", 1, kFileCount},
    {"FileName", 19, INVOKE_FUNC, "File name", 2, kFileName},
    {"FileSaveTo", 20, INVOKE_FUNC, "Save file to disk. True if Ok", 3, kFileSaveTo},
    {"FileSize", 21, INVOKE_FUNC, "Get file size", 2, kFileSize},
    {"FileRead", 22, INVOKE_FUNC, "Read data block from received file. Size is a maximum block size; StartPos is a start position.  Return value is safearray of Byte", 4, kFileRead},
    {"FileVarName", 23, INVOKE_FUNC, "HTML form field name (type=\"FILE\"), file was attached to ", 2, kFileVarName},
    {"FilePath", 24, INVOKE_FUNC, "Path part of file name", 2, kFilePath},
    {"ProcessZIP", 8, INVOKE_PROPERTYGET, "Should QRVX unpack ZIP files", 1, kProcessZIPGet},
    {"ProcessZIP", 8, INVOKE_PROPERTYPUT, "Should QRVX unpack ZIP files", 1, kProcessZIPPut},
    {"ProcessDBF", 14, INVOKE_PROPERTYGET, "Should QRVX process DBF data tables", 1, kProcessDBFGet},
    {"ProcessDBF", 14, INVOKE_PROPERTYPUT, "Should QRVX process DBF data tables", 1, kProcessDBFPut},
    {"Version", 16, INVOKE_FUNC, "Returns QRVX version", 1, kVersion},
    {"FileReadText", 17, INVOKE_FUNC, nullptr, 4, kFileReadText},
};

// "Разбор данных, посланных клиентом как часть POST-запроса в "multipart/form-data" формате"
// in code page 1251.
const char kAcceptorDoc[] =
    "\xD0\xE0\xE7\xE1\xEE\xF0 \xE4\xE0\xED\xED\xFB\xF5, \xEF\xEE\xF1\xEB\xE0\xED\xED\xFB\xF5 \xEA\xEB\xE8\xE5\xED\xF2\xEE\xEC \xEA\xE0\xEA \xF7\xE0\xF1\xF2\xFC POST-\xE7\xE0\xEF\xF0\xEE\xF1\xE0 \xE2 \"multipart/form-data\" \xF4\xEE\xF0\xEC\xE0\xF2\xE5";
// clang-format on

const QRVX_TYPEDATA kTypes[] = {
    {"IAcceptor", kIID_IAcceptor, TKIND_DISPATCH,
     TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE, 1, 0,
     "Dispatch interface for Converter Object", sizeof kAcceptorFuncs / sizeof kAcceptorFuncs[0],
     kAcceptorFuncs, -1},
    {"Acceptor", kCLSID_Acceptor, TKIND_COCLASS, TYPEFLAG_FCANCREATE, 1, 0, kAcceptorDoc, 0,
     nullptr, 0},
};

}  // namespace

extern "C"
    __attribute__((visibility("default"))) constinit const QRVX_TYPELIBDATA QrvxTypeLibData = {
        "QRVX", kLIBID_QRVX, 0x409, 1, 0, "QRVX Library", "QRVX.CHM", 2, kTypes};
