<%@ Language="VBScript" %>
<%
' The form page: shows the picture and an answer field; on POST compares the
' answer with the text restored from the token in the session and bounds the
' token's age. Each picture gets one answer: the token leaves the session
' when it is checked.
Option Explicit
Const kMaxAgeSeconds = 300

Function CheckAnswer()
  Dim token, answer
  token = Session("GlimmarkToken")
  Session.Contents.Remove "GlimmarkToken"
  If token = "" Then
    CheckAnswer = "No picture was shown, or it was answered already."
    Exit Function
  End If
  Set answer = Server.CreateObject("tolvek.Glimmark")
  answer.SetPassword Application("GlimmarkPassword")
  answer.EncryptedText = token
  If answer.EncryptionAge < 0 Or answer.EncryptionAge > kMaxAgeSeconds Then
    CheckAnswer = "The picture has expired; try the new one."
  ElseIf StrComp(Request.Form("answer"), answer.Text, vbBinaryCompare) = 0 Then
    CheckAnswer = "Accepted."
  Else
    CheckAnswer = "Wrong answer; try the new picture."
  End If
End Function

Dim message
If Request.ServerVariables("REQUEST_METHOD") = "POST" Then message = CheckAnswer()
%>
<!DOCTYPE html>
<html>
<head><meta charset="utf-8"><title>Are you human?</title></head>
<body>
<% If message <> "" Then %><p><%= Server.HTMLEncode(message) %></p><% End If %>
<form method="post" action="form.asp">
  <img src="captcha.asp?<%= Timer %>" width="240" height="80" alt="Challenge picture">
  <p><label>Type the characters you see: <input name="answer" autocomplete="off"></label></p>
  <p><button type="submit">Send</button> <a href="form.asp">New picture</a></p>
</form>
</body>
</html>
