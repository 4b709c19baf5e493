' Drives QRVX.Acceptor the way an ASP page does, through cscript.
' Arguments: the test data directory and a scratch directory holding the hex
' of werkzeug/firefox3-2png1txt/request.http and of examples/upload.body
' (files written by the harness), as Windows paths; then the class
' identifier of QRVX.Acceptor, braced. Runs after tests/support/checks.vbs.
Plan 58

Dim dataDir, tmpDir, fso, dom, el
dataDir = WScript.Arguments(0)
tmpDir = WScript.Arguments(1)
Set fso = WScript.CreateObject("Scripting.FileSystemObject")
Set dom = WScript.CreateObject("MSXML2.DOMDocument")
Set el = dom.createElement("b")
el.dataType = "bin.hex"

' A byte array from hexadecimal text. The way back works only when the
' member's result is assigned to nodeTypedValue in the statement itself:
'   el.nodeTypedValue = o.FileRead(...) then el.Text.
Function Bytes(hexText)
  el.Text = hexText
  Bytes = el.nodeTypedValue
End Function
Function ReadAll(path)
  ReadAll = fso.OpenTextFile(path).ReadAll
End Function

Dim o, o2, v
' ---- Created by ProgID: empty results before any request ----
Set o = CreateObject("QRVX.Acceptor")
Check o.Version = "v2.0", "Version"
Check o.VarCount = 0, "VarCount before a request"
Check o.FileCount = 0, "FileCount before a request"
Check o.DBFCount = 0, "DBFCount before a request"
Check o.VarName(0) = "", "VarName(0) before a request"
Check o.FileSize("x") = 0, "FileSize of nothing"
Check IsEmpty(o.FileRead(0, 0, 10)), "FileRead of nothing is Empty"
Check o.ProcessZIP = False, "ProcessZIP starts false"
Check o.ProcessDBF = False, "ProcessDBF starts false"

' ---- Switches ----
o.ProcessZIP = 1
Check o.ProcessZIP = True, "ProcessZIP put 1 reads true"
Check CInt(o.ProcessZIP) = -1, "true is -1"
o.ProcessZIP = 0
Check o.ProcessZIP = False, "ProcessZIP put 0 reads false"
o.ProcessDBF = True
Check o.ProcessDBF = True, "ProcessDBF put true"

' ---- A Firefox 3 capture as a byte array ----
o.ProcessRequest Bytes(ReadAll(tmpDir & "\firefox3.hex"))
Check o.VarCount = 1, "firefox3 VarCount"
Check o.VarName(0) = "text", "firefox3 VarName"
Check o.VarValue("TEXT") = "example text", "VarValue by name in other case"
Check o.VarValue(1) = "", "VarValue one past the end"
Check o.VarValue(-1) = "", "VarValue -1"
Check o.FileCount = 2, "firefox3 FileCount"
Check o.FileName(0) = "anchor.png", "FileName(0)"
Check o.FileName(1) = "application_edit.png", "FileName(1)"
Check o.FileVarName("anchor.png") = "file1", "FileVarName by name"
Check o.FilePath(0) = "", "FilePath without a directory"
Check o.FileSize(0) = 523, "FileSize(0)"
Check o.FileSize("APPLICATION_EDIT.PNG") = 703, "FileSize by name"
el.nodeTypedValue = o.FileRead(0, 0, 8)
Check el.Text = "89504e470d0a1a0a", "FileRead PNG signature"
el.nodeTypedValue = o.FileRead(0, 520, 100)
Check el.Text = LCase(Right(ReadAll(tmpDir & "\file1.hex"), 6)), "FileRead at the end"
el.nodeTypedValue = o.FileRead(0, 523, 10)
Check el.Text = "", "FileRead at the end gives no bytes"
Check IsEmpty(o.FileRead(0, 0, 0)), "FileRead of size 0 is Empty"
el.nodeTypedValue = o.FileRead(1, 0, 4)
Check el.Text = "89504e47", "FileRead second file"
Check o.FileSaveTo(0, tmpDir & "\saved.png") = True, "FileSaveTo"
Check fso.GetFile(tmpDir & "\saved.png").Size = 523, "saved file size"
Check o.FileSaveTo(7, tmpDir & "\none.png") = False, "FileSaveTo of nothing"
Check Not fso.FileExists(tmpDir & "\none.png"), "nothing saved"

' ---- The project's own Chromium capture, as a byte array, with both switches ----
o.ProcessZIP = True
o.ProcessDBF = True
o.ProcessRequest Bytes(ReadAll(tmpDir & "\upload.hex"))
Check o.VarCount = 3, "upload VarCount"
Check InStr(o.VarValue("customername"), "John Smith / ") = 1, "upload CustomerName"
Check InStr(o.VarValue("Comment"), "Two lines:" & vbCrLf & "plain Latin") = 1, "CRLF kept in a value"
Check o.FileName(0) = "notes.txt", "bare name of a Windows path"
Check o.FilePath("Notes.TXT") = "c:\documents and settings\ivan\my documents\", "directory part"
Check o.FileVarName(0) = "notes", "field of the text file"
Check o.FileReadText(0, 0, 14) = "Delivery notes", "FileReadText"
Check o.FileCount = 5, "archive entries become files"
Check o.FileVarName("readme.txt") = "archive", "entry field is the archive's"
Check o.DBFCount = 2, "tables from the archive and the form"
Check o.DBFName(0) = "prices", "DBFName"
Check o.DBFVarName(1) = "table", "DBFVarName"
Check o.DBFColCount(0) = 4, "DBFColCount"
Check o.DBFColName(0, 1) = "price", "DBFColName"
Check o.DBFRowCount(0) = 3, "DBFRowCount"
Check o.DBFRow(0) = 0, "DBFRow starts at 0"
Check o.DBF(0, "name") = "Tea, green", "DBF cell"
o.DBFRow(0) = 2
Check o.DBFRow(0) = 2, "DBFRow put"
Check o.DBFRow("nothing") = -1, "DBFRow of nothing"

' ---- The same capture as a string ----
Set o2 = GetObject("new:" & WScript.Arguments(2))
o2.ProcessRequest ReadAll(dataDir & "\multipart\werkzeug\firefox3-2png1txt\request.http")
Check o2.VarValue("text") = "example text", "string body: variable"
Check o2.FileSize(1) = 703, "string body: file size"
el.nodeTypedValue = o2.FileRead(1, 0, 4)
Check el.Text = "89504e47", "string body: bytes"

' ---- Errors ----
On Error Resume Next
v = o.FileRead(0, "four", 1)
Check Err.Number = 13, "a StartPos that is no number is a type mismatch"
Err.Clear
o.NoSuchMember
Check Err.Number = 438, "unknown member"
Err.Clear
On Error GoTo 0

Set o = Nothing
Set o2 = Nothing
Done
