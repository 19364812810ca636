<%@ Language="VBScript" %>
<%
' The picture page: draws a new challenge, keeps its token in the visitor's
' session (never in the page) and sends the picture as this page's body.
' Link it from the form page as <img src="captcha.asp">.
Option Explicit
%>
<!-- #include file="captcha_text.inc" -->
<%
Response.Buffer = True
Response.Expires = -1
Response.AddHeader "Cache-Control", "no-store"

Dim captcha
Set captcha = Server.CreateObject("tolvek.Glimmark")   ' OnStartPage hands it the response
captcha.SetSize 240, 80
' Colours as positive numbers: &HFF202080 would be a negative Long, which the
' unsigned colour parameters refuse.
captcha.SetColor 4278198400, 4294964448   ' dark blue on cream, ARGB
captcha.SetLines 3, 2
captcha.SetOutputFormat 2, 75             ' JPEG, quality 75
captcha.Text = StrongRandomText(6)        ' not SetRandomText: see the README
captcha.SetPassword Application("GlimmarkPassword")
Session("GlimmarkToken") = captcha.EncryptedText
captcha.Send
%>
