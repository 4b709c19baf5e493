' Stand-ins for the objects of Active Server Pages, for running a page's
' script under cscript: Request hands over a body, Response collects the page,
' Server creates objects, encodes text and maps the page's folder to a scratch
' directory. wine_sample.sh puts this first, then the page's script block,
' then upload_checks.vbs, into one script (Wine's VBScript has no
' ExecuteGlobal).
' Arguments: the hex of the body and the scratch directory (Windows paths),
' then the body's name: "capture" (examples/upload.body) or "hostile".
' All of it runs after tests/support/checks.vbs (the check counter).

Dim hostFso, hostDom, hostEl   ' names the page does not use
Set hostFso = WScript.CreateObject("Scripting.FileSystemObject")
Set hostDom = WScript.CreateObject("MSXML2.DOMDocument")
Set hostEl = hostDom.createElement("b")
hostEl.dataType = "bin.hex"

Class TRequest
  Public BodyHex
  Public Property Get TotalBytes
    TotalBytes = Len(BodyHex) \ 2
  End Property
  ' The body as a byte array, as ASP's BinaryRead gives it.
  Public Function BinaryRead(count)
    hostEl.Text = Left(BodyHex, 2 * count)
    BinaryRead = hostEl.nodeTypedValue
  End Function
End Class

Class TResponse
  Public Text
  Public Sub Write(s)
    Text = Text & s
  End Sub
End Class

Class TServer
  Public Root
  Public Function CreateObject(progId)
    Set CreateObject = WScript.CreateObject(progId)
  End Function
  Public Function MapPath(p)
    MapPath = Root & "\" & p
  End Function
  Public Function HTMLEncode(s)
    HTMLEncode = Replace(Replace(Replace(Replace(s, "&", "&amp;"), "<", "&lt;"), ">", "&gt;"), _
      """", "&quot;")
  End Function
End Class

Dim workDir, scenario
workDir = WScript.Arguments(1)
scenario = WScript.Arguments(2)

Dim Request, Response, Server
Set Request = New TRequest
Request.BodyHex = hostFso.OpenTextFile(WScript.Arguments(0)).ReadAll
Set Response = New TResponse
Response.Text = ""
Set Server = New TServer
Server.Root = workDir

' ---- The page's script follows ----
