' ---- Checks of what the page wrote and saved; follows the page's script ----
Dim out, saved
out = Response.Text
saved = workDir & "\Uploads\"

Function Has(text)
  Has = InStr(out, text) > 0
End Function
Function SavedSize(name)
  SavedSize = -1
  If hostFso.FileExists(saved & name) Then SavedSize = hostFso.GetFile(saved & name).Size
End Function

If scenario = "capture" Then
  Plan 18
  ' Fields
  Check Has("<tr><td>customername</td><td>John Smith / "), "field customername"
  Check Has("<tr><td>comment</td><td>Two lines:<br>plain Latin"), "a text area's line break"
  Check Has("<tr><td>city</td><td>"), "field city"
  ' Files: the text file with the directory part its browser sent, the
  ' archive, its two entries, the table; each saved under its bare name
  Check Has("<tr><td>notes.txt</td><td>c:\documents and settings\ivan\my documents\</td>" & _
    "<td>notes</td><td>90</td><td>Uploads\notes.txt</td></tr>"), "notes.txt row"
  Check Has("<tr><td>archive.zip</td><td></td><td>archive</td><td>517</td>" & _
    "<td>Uploads\archive.zip</td></tr>"), "archive row"
  Check Has("<tr><td>readme.txt</td><td></td><td>archive</td><td>520</td>" & _
    "<td>Uploads\readme.txt</td></tr>"), "archive entry readme.txt"
  Check Has("<tr><td>prices.dbf</td><td></td><td>archive</td><td>314</td>" & _
    "<td>Uploads\prices.dbf</td></tr>"), "archive entry prices.dbf"
  Check Has("<tr><td>prices.dbf</td><td></td><td>table</td><td>314</td>" & _
    "<td>Uploads\prices.dbf</td></tr>"), "posted table"
  Check SavedSize("notes.txt") = 90, "notes.txt saved"
  Check SavedSize("archive.zip") = 517, "archive.zip saved"
  Check SavedSize("readme.txt") = 520, "readme.txt saved"
  Check SavedSize("prices.dbf") = 314, "prices.dbf saved"
  Check Left(hostFso.OpenTextFile(saved & "notes.txt").ReadAll, 16) = "Delivery notes" & vbCrLf, _
    "notes.txt holds what was posted"
  ' Tables: the one from the archive and the posted one, rows by DBFRow
  Check Has("<h3>prices (field archive, 3 rows)</h3>"), "table from the archive"
  Check Has("<h3>prices (field table, 3 rows)</h3>"), "posted table"
  Check Has("<tr><th>name</th><th>price</th>"), "column names"
  Check UBound(Split(out, "<td>Tea, green</td>")) = 2, "a row of each table"
  Check UBound(Split(out, "<tr><td>")) = 3 + 5 + 2 * 3, "a row per field, file and table row"
Else
  Plan 9
  ' Posted text is encoded; unsafe names are refused, nothing leaves Uploads
  Check Has("&lt;b&gt;bold&lt;/b&gt; &amp; &quot;quoted&quot;"), "a value is encoded"
  Check Not Has("<b>bold"), "no posted markup in the page"
  Check Has("<td>../evil.txt</td>"), "the bare name a browser sent with slashes"
  Check Has("<td>not saved: name refused</td></tr>"), "an unsafe name is refused"
  Check UBound(Split(out, "not saved: name refused")) = 4, "four names refused"
  Check Not hostFso.FileExists(workDir & "\evil.txt"), "nothing written beside Uploads"
  Check Has("<tr><td>con.txt</td><td></td><td>attachment</td><td>5</td>" & _
    "<td>not saved: name refused</td></tr>"), "a device name is refused"
  Check SavedSize("ok.txt") = 5, "a plain name is saved"
  Check Has("<p>No table was sent.</p>"), "no table"
End If

Done
