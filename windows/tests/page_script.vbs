' The component driven as an ASP page script drives it: created by ProgID,
' every call late-bound. Run by cscript under the Windows suite
' (windows/run-suite), which reads the lines it prints:
'   ok NAME            a check that held
'   not ok NAME: WHY   a check that failed
'   value NAME: TEXT   something for the suite to look at (a file, a token)
'   done               the script ran to its end
'
'   cscript page_script.vbs checks FOLDER    the page checks; pictures go to FOLDER
'   cscript page_script.vbs token P TEXT     prints the token of TEXT under password P
'   cscript page_script.vbs verify P TOKEN   prints the text and age restored from TOKEN
Option Explicit

Const kPassword = "page secret"
Const kFailure = &H80040100   ' what a failed output returns
Const kByteArray = 8209       ' vbArray + vbByte
' Colours are passed as positive numbers: &HFF000000 is a negative Long,
' which the unsigned OLE_COLOR parameter refuses.
Const kBlack = 4278190080
Const kWhite = 4294967295

Sub Check(name, held, why)
  If held Then
    WScript.Echo "ok " & name
  Else
    WScript.Echo "not ok " & name & ": " & why
  End If
End Sub

Sub Value(name, text)
  WScript.Echo "value " & name & ": " & text
End Sub

Function IsDigits(text)
  Dim i
  IsDigits = Len(text) > 0
  For i = 1 To Len(text)
    If InStr("0123456789", Mid(text, i, 1)) = 0 Then IsDigits = False
  Next
End Function

' A picture as a page draws one: size, colours, curves, format, random text.
Function NewChallenge(length)
  Dim captcha
  Set captcha = CreateObject("tolvek.Glimmark")
  captcha.SetSize 240, 80
  captcha.SetColor 4278198400, 4294964448   ' dark blue on cream
  captcha.SetLines 3, 2
  captcha.SetOutputFormat 2, 75             ' JPEG, quality 75
  captcha.SetRandomText length, length
  Set NewChallenge = captcha
End Function

Sub RunChecks(folder)
  Dim captcha, text, token, bytes, answer, age, gif
  Set captcha = NewChallenge(6)
  text = captcha.Text
  Check "random text of the set length", Len(text) = 6, "text """ & text & """"

  bytes = captcha.SaveToVar
  Check "SaveToVar gives a byte array", VarType(bytes) = kByteArray, "VarType " & VarType(bytes)

  captcha.SaveToFile folder & "\page.jpg"
  Value "picture", folder & "\page.jpg"

  captcha.SetPassword kPassword
  token = captcha.EncryptedText
  Check "token is decimal digits", IsDigits(token), "token " & token
  Set answer = CreateObject("tolvek.Glimmark")
  answer.SetPassword kPassword
  answer.EncryptedText = token
  Check "second object restores the text", answer.Text = text, _
        """" & answer.Text & """ for """ & text & """"
  age = answer.EncryptionAge
  Check "token age is 0 to 5 s", age >= 0 And age <= 5, "age " & age

  On Error Resume Next
  captcha.SaveToFile folder & "\no such folder\page.jpg"
  Check "saving into a missing folder fails", Err.Number = kFailure, "Err.Number " & Hex(Err.Number)
  Check "the failure's source", Err.Source = "Glimmark", "Err.Source """ & Err.Source & """"
  Check "the failure's description", Err.Description = "Cannot save into the file", _
        "Err.Description """ & Err.Description & """"
  Err.Clear

  ' GIF: Wine's encoder may fail; the suite decodes what was written.
  captcha.SetOutputFormat 1, 0
  captcha.SaveToFile folder & "\page.gif"
  If Err.Number = 0 Then
    Value "gif", folder & "\page.gif"
  Else
    Value "gif failure", Err.Source & ": " & Err.Description
  End If
  Err.Clear
  On Error GoTo 0
  WScript.Echo "done"
End Sub

Sub PrintToken(password, text)
  Dim captcha
  Set captcha = CreateObject("tolvek.Glimmark")
  captcha.SetPassword password
  captcha.Text = text
  Value "token", captcha.EncryptedText
  WScript.Echo "done"
End Sub

Sub PrintRestored(password, token)
  Dim captcha
  Set captcha = CreateObject("tolvek.Glimmark")
  captcha.SetPassword password
  captcha.EncryptedText = token
  Value "text", captcha.Text
  Value "age", captcha.EncryptionAge
  WScript.Echo "done"
End Sub

Dim arguments
Set arguments = WScript.Arguments
Select Case arguments(0)
  Case "checks": RunChecks arguments(1)
  Case "token": PrintToken arguments(1), arguments(2)
  Case "verify": PrintRestored arguments(1), arguments(2)
End Select
