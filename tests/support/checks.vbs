' The check counter of the VBScript suites. The harness puts this file first
' in the script it runs, then the suite's own script (Wine's VBScript has no
' ExecuteGlobal), so Option Explicit is said here for all of them.
' An uncaught error ends a script silently with exit code 0, and inside
' On Error Resume Next a Check whose condition raises is skipped whole. So a
' suite says how many checks it runs (Plan n) and ends with Done, whose last
' line is "n passed, 0 failed" only when exactly the planned checks ran and
' all of them passed; the harness requires that line and exit code 0.
Option Explicit

Dim checksPassed, checksFailed, checksPlanned
checksPassed = 0
checksFailed = 0
checksPlanned = -1

Sub Plan(n)
  checksPlanned = n
End Sub

Sub Check(cond, what)
  If cond Then
    checksPassed = checksPassed + 1
  Else
    checksFailed = checksFailed + 1
    WScript.Echo "FAIL: " & what
  End If
End Sub

Sub Done()
  Dim ran
  ran = checksPassed + checksFailed
  WScript.Echo checksPassed & " passed, " & checksFailed & " failed"
  If ran <> checksPlanned Then
    WScript.Echo "FAIL: " & ran & " checks ran, " & checksPlanned & " planned"
    WScript.Quit 1
  End If
  If checksFailed > 0 Then WScript.Quit 1
End Sub
