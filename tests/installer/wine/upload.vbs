' After setup: the installed QRVX.Acceptor receives a posted body the way
' the sample page Upload.asp does, loop counters in variables.
' Argument: a file holding the hexadecimal of the body (Windows path).
' Runs after tests/support/checks.vbs.
Plan 4

Dim fso, dom, el, up, i, names, files
Set fso = WScript.CreateObject("Scripting.FileSystemObject")
Set dom = WScript.CreateObject("MSXML2.DOMDocument")
Set el = dom.createElement("b")
el.dataType = "bin.hex"
el.Text = fso.OpenTextFile(WScript.Arguments(0)).ReadAll

Set up = CreateObject("QRVX.Acceptor")
up.ProcessZIP = True
up.ProcessDBF = True
up.ProcessRequest el.nodeTypedValue
Check up.VarCount = 2, "VarCount"
names = ""
For i = 0 To up.VarCount - 1
  names = names & up.VarName(i) & "=" & up.VarValue(i) & ";"
Next
Check names = "title=Report;note=two words;", "variables: " & names
Check up.FileCount = 1, "FileCount"
files = ""
For i = 0 To up.FileCount - 1
  files = files & up.FileName(i) & ":" & up.FileSize(i) & ";"
Next
Check files = "hello.txt:11;", "files: " & files
Done
