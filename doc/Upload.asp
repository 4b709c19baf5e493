<%@ Language="VBScript" %>
<% Option Explicit %>
<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="windows-1252">
<title>QRVX sample: upload received</title>
</head>
<body>
<h1>Upload received</h1>
<%
' Receives the form of Upload.htm through QRVX.Acceptor: lists the fields,
' saves the files into the folder Uploads beside this page and shows the
' rows of the dBase tables, also of those found in ZIP archives.
' The web server's account needs the right to write into Uploads.

Const MAX_ROWS = 200   ' rows shown per table

' Text for the page: everything posted is encoded before it is shown.
Function Html(text)
  If IsNull(text) Then
    Html = ""
  Else
    Html = Server.HTMLEncode(CStr(text))
  End If
End Function

' Whether a posted file name may be used as a file name in our folder:
' letters, digits, blanks, "-", "_" and "."; not starting with a dot, not
' ending in a dot or a blank, not a device name such as CON or LPT1.
Function SafeName(name)
  Dim k, ch, stem
  SafeName = False
  If Len(name) = 0 Or Len(name) > 120 Then Exit Function
  For k = 1 To Len(name)
    ch = Mid(name, k, 1)
    If InStr("abcdefghijklmnopqrstuvwxyz0123456789 -_.", LCase(ch)) = 0 And Asc(ch) < 128 Then
      Exit Function
    End If
  Next
  If Left(name, 1) = "." Or Right(name, 1) = "." Or Right(name, 1) = " " Then Exit Function
  stem = LCase(name)
  If InStr(stem, ".") > 0 Then stem = Left(stem, InStr(stem, ".") - 1)
  If InStr(" con prn aux nul com1 com2 com3 com4 com5 com6 com7 com8 com9 lpt1 lpt2 lpt3 lpt4 lpt5 lpt6 lpt7 lpt8 lpt9 ", " " & stem & " ") > 0 Then
    Exit Function
  End If
  SafeName = True
End Function

Dim up, fso, saveDir, i, t, r, c, lastRow, name, status
Set up = Server.CreateObject("QRVX.Acceptor")
up.ProcessZIP = True
up.ProcessDBF = True
' The whole body of the POST; nothing may read Request.Form before this.
up.ProcessRequest Request.BinaryRead(Request.TotalBytes)

Set fso = Server.CreateObject("Scripting.FileSystemObject")
saveDir = Server.MapPath("Uploads")
If Not fso.FolderExists(saveDir) Then fso.CreateFolder saveDir

Response.Write "<h2>Fields</h2>" & vbCrLf
Response.Write "<table border=""1"">" & vbCrLf
Response.Write "<tr><th>Field</th><th>Value</th></tr>" & vbCrLf
For i = 0 To up.VarCount - 1
  Response.Write "<tr><td>" & Html(up.VarName(i)) & "</td><td>" & _
    Replace(Html(up.VarValue(i)), vbCrLf, "<br>") & "</td></tr>" & vbCrLf
Next
Response.Write "</table>" & vbCrLf

' Files of the same name replace each other in Uploads: the last one stays.
Response.Write "<h2>Files</h2>" & vbCrLf
Response.Write "<table border=""1"">" & vbCrLf
Response.Write "<tr><th>File</th><th>Sent from</th><th>Field</th><th>Bytes</th><th>Saved</th></tr>" & vbCrLf
For i = 0 To up.FileCount - 1
  name = up.FileName(i)
  If Not SafeName(name) Then
    status = "not saved: name refused"
  ElseIf up.FileSaveTo(i, saveDir & "\" & name) Then
    status = "Uploads\" & name
  Else
    status = "not saved: write failed"
  End If
  Response.Write "<tr><td>" & Html(name) & "</td><td>" & Html(up.FilePath(i)) & "</td><td>" & _
    Html(up.FileVarName(i)) & "</td><td>" & up.FileSize(i) & "</td><td>" & Html(status) & _
    "</td></tr>" & vbCrLf
Next
Response.Write "</table>" & vbCrLf

Response.Write "<h2>Tables</h2>" & vbCrLf
For t = 0 To up.DBFCount - 1
  Response.Write "<h3>" & Html(up.DBFName(t)) & " (field " & Html(up.DBFVarName(t)) & ", " & _
    up.DBFRowCount(t) & " rows)</h3>" & vbCrLf
  Response.Write "<table border=""1"">" & vbCrLf & "<tr>"
  For c = 0 To up.DBFColCount(t) - 1
    Response.Write "<th>" & Html(up.DBFColName(t, c)) & "</th>"
  Next
  Response.Write "</tr>" & vbCrLf
  lastRow = up.DBFRowCount(t) - 1
  If lastRow > MAX_ROWS - 1 Then lastRow = MAX_ROWS - 1
  For r = 0 To lastRow
    up.DBFRow(t) = r
    Response.Write "<tr>"
    For c = 0 To up.DBFColCount(t) - 1
      Response.Write "<td>" & Html(up.DBF(t, c)) & "</td>"
    Next
    Response.Write "</tr>" & vbCrLf
  Next
  Response.Write "</table>" & vbCrLf
Next
If up.DBFCount = 0 Then Response.Write "<p>No table was sent.</p>" & vbCrLf

Set up = Nothing
%>
<p><a href="Upload.htm">Send more files</a></p>
</body>
</html>
