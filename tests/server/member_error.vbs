' Run against the test build of the library that cannot allocate automation
' strings of more than 65,536 characters (as when a server's memory runs
' out): a member that fails outside its own handling reaches the script as an
' error from QRVX.Acceptor with the failure's message; a member whose own
' work fails answers its empty result without an error.
' Runs after tests/support/checks.vbs.
Plan 12

Dim o, big, body, v, round
Set o = CreateObject("QRVX.Acceptor")
big = String(70000, "x")
body = "--b" & vbCrLf & "Content-Disposition: form-data; name=""big""" & vbCrLf & vbCrLf & big & _
  vbCrLf & "--b" & vbCrLf & "Content-Disposition: form-data; name=""small""" & vbCrLf & vbCrLf & _
  "ok" & vbCrLf & "--b" & vbCrLf & _
  "Content-Disposition: form-data; name=""f""; filename=""big.txt""" & vbCrLf & vbCrLf & big & _
  vbCrLf & "--b--" & vbCrLf
o.ProcessRequest body
Check o.VarCount = 2, "both fields received"
Check o.FileSize("big.txt") = 70000, "file received"

On Error Resume Next
For round = 1 To 2
  Err.Clear
  v = o.VarValue("big")
  Check Err.Number = &H8000FFFF, "round " & round & ": error number " & Hex(Err.Number)
  Check Err.Source = "QRVX.Acceptor", "round " & round & ": error source '" & Err.Source & "'"
  Check Err.Description = "Out of memory", _
    "round " & round & ": error description '" & Err.Description & "'"
  Err.Clear
  v = o.VarValue("small")
  Check Err.Number = 0 And v = "ok", "round " & round & ": the object goes on working"
Next
Err.Clear
v = o.FileReadText("big.txt", 0, 100000)
Check Err.Number = 0 And v = "", "FileReadText's own failure is its empty result"
Check o.FileReadText("big.txt", 0, 5) = "xxxxx", "FileReadText of a short block"
On Error GoTo 0

Set o = Nothing
Done
