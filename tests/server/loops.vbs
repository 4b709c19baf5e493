' Reads an upload the way an ASP page does: loop counters in variables, which
' VBScript passes to the members by reference. Every answer is compared with
' the same member called with the counter's value (CLng(i) passes a value).
' Arguments: the test data directory and a scratch directory holding
' upload.hex (the hex of examples/upload.body, written by the harness), as
' Windows paths. Runs after tests/support/checks.vbs.
Plan 66

Dim tmpDir, fso, dom, el
tmpDir = WScript.Arguments(1)
Set fso = WScript.CreateObject("Scripting.FileSystemObject")
Set dom = WScript.CreateObject("MSXML2.DOMDocument")
Set el = dom.createElement("b")
el.dataType = "bin.hex"

Function Bytes(hexText)
  el.Text = hexText
  Bytes = el.nodeTypedValue
End Function

' A table cell as text (a cell may be Null).
Function Cell(v)
  If IsNull(v) Then
    Cell = "<null>"
  Else
    Cell = CStr(v)
  End If
End Function

Dim o, i, j, k, pos, chunk, whole, blocks, saved, rows, cells, total, filled
Set o = CreateObject("QRVX.Acceptor")
o.ProcessZIP = True
o.ProcessDBF = True
o.ProcessRequest Bytes(fso.OpenTextFile(tmpDir & "\upload.hex").ReadAll)

' ---- Variables ----
Check o.VarCount = 3, "VarCount"
k = 0
For i = 0 To o.VarCount - 1
  Check o.VarName(i) <> "" And o.VarName(i) = o.VarName(CLng(i)), "VarName(" & i & ")"
  Check o.VarValue(i) = o.VarValue(CLng(i)), "VarValue(" & i & ")"
  Check o.VarValue(i) = o.VarValue(o.VarName(i)), "VarValue by the name of " & i
  k = k + 1
Next
Check k = 3, "the variable loop ran three times"

' ---- Files: names, sizes, each saved and each read in blocks ----
Check o.FileCount = 5, "FileCount"
saved = 0
For i = 0 To o.FileCount - 1
  Check o.FileName(i) <> "" And o.FileName(i) = o.FileName(CLng(i)), "FileName(" & i & ")"
  Check o.FilePath(i) = o.FilePath(CLng(i)), "FilePath(" & i & ")"
  Check o.FileVarName(i) = o.FileVarName(CLng(i)), "FileVarName(" & i & ")"
  Check o.FileSize(i) > 0 And o.FileSize(i) = o.FileSize(CLng(i)), "FileSize(" & i & ")"
  If o.FileSaveTo(i, tmpDir & "\loop" & i & "_" & o.FileName(i)) Then saved = saved + 1
  Check fso.GetFile(tmpDir & "\loop" & i & "_" & o.FileName(i)).Size = o.FileSize(i), _
    "saved size of file " & i
  el.nodeTypedValue = o.FileRead(CLng(i), 0, o.FileSize(CLng(i)))
  whole = el.Text
  pos = 0
  blocks = ""
  Do
    el.nodeTypedValue = o.FileRead(i, pos, 7)
    chunk = el.Text
    blocks = blocks & chunk
    pos = pos + 7
  Loop While Len(chunk) = 14
  Check Len(whole) = 2 * o.FileSize(i) And blocks = whole, "FileRead in blocks of file " & i
  Check o.FileReadText(i, 0, 5) = o.FileReadText(CLng(i), 0, 5), "FileReadText(" & i & ")"
Next
Check saved = 5, "every file saved"

' ---- Tables: every row, every column ----
Check o.DBFCount = 2, "DBFCount"
cells = 0
total = 0
filled = 0
For i = 0 To o.DBFCount - 1
  Check o.DBFName(i) <> "" And o.DBFName(i) = o.DBFName(CLng(i)), "DBFName(" & i & ")"
  Check o.DBFVarName(i) = o.DBFVarName(CLng(i)), "DBFVarName(" & i & ")"
  Check o.DBFColCount(i) > 0 And o.DBFColCount(i) = o.DBFColCount(CLng(i)), "DBFColCount(" & i & ")"
  rows = 0
  For j = 0 To o.DBFRowCount(i) - 1
    o.DBFRow(i) = j
    Check o.DBFRow(i) = j And o.DBFRow(CLng(i)) = j, "DBFRow(" & i & ") = " & j
    For k = 0 To o.DBFColCount(i) - 1
      If Cell(o.DBF(i, k)) = Cell(o.DBF(CLng(i), CLng(k))) And _
         Cell(o.DBF(i, k)) = Cell(o.DBF(CLng(i), o.DBFColName(i, k))) Then cells = cells + 1
      total = total + 1
      If Cell(o.DBF(i, k)) <> "0" And Cell(o.DBF(i, k)) <> "" Then filled = filled + 1
    Next
    rows = rows + 1
  Next
  Check rows = o.DBFRowCount(CLng(i)) And rows > 0, "rows of table " & i
Next
Check total > 0 And cells = total, "every cell the same by reference, by value and by name"
Check filled > 0, "cells hold values"
o.DBFRow(0) = 0
Check o.DBF(0, "name") = "Tea, green", "first row of the first table"

Set o = Nothing
Done
