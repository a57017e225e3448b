VERSION 5.00
Object = "{B9902FB8-C2B2-4623-A26E-480C242FC303}#1.2#409"; "zeloggplays100.ocx"
Begin VB.Form PlayerForm
   Caption         =   "Ogg player"
   ClientHeight    =   2280
   ClientLeft      =   60
   ClientTop       =   345
   ClientWidth     =   6120
   LinkTopic       =   "Form1"
   ScaleHeight     =   2280
   ScaleWidth      =   6120
   StartUpPosition =   3  'Windows Default
   Begin ZelOggPlayerEx.ZelOggPlayEx ZelOggPlayEx1
      Left            =   5400
      Top             =   1560
      _ExtentX        =   847
      _ExtentY        =   847
   End
   Begin VB.Timer PositionTimer
      Enabled         =   0   'False
      Interval        =   250
      Left            =   4800
      Top             =   1560
   End
   Begin VB.TextBox FileBox
      Height          =   315
      Left            =   120
      TabIndex        =   0
      Text            =   "C:\Music\song.ogg"
      Top             =   120
      Width           =   4575
   End
   Begin VB.CommandButton PlayButton
      Caption         =   "Play"
      Height          =   315
      Left            =   4800
      TabIndex        =   1
      Top             =   120
      Width           =   1215
   End
   Begin VB.HScrollBar SeekBar
      Height          =   255
      LargeChange     =   10
      Left            =   120
      Max             =   0
      TabIndex        =   2
      Top             =   600
      Width           =   5895
   End
   Begin VB.CommandButton PauseButton
      Caption         =   "Pause"
      Height          =   315
      Left            =   120
      TabIndex        =   3
      Top             =   1080
      Width           =   1215
   End
   Begin VB.CommandButton StopButton
      Caption         =   "Stop"
      Height          =   315
      Left            =   1440
      TabIndex        =   4
      Top             =   1080
      Width           =   1215
   End
   Begin VB.Label TimeLabel
      Caption         =   "0.0 / 0.0 s"
      Height          =   255
      Left            =   2880
      TabIndex        =   5
      Top             =   1110
      Width           =   3135
   End
End
Attribute VB_Name = "PlayerForm"
Attribute VB_GlobalNameSpace = False
Attribute VB_Creatable = False
Attribute VB_PredeclaredId = True
Attribute VB_Exposed = False
' A VB6 player: ZelOggPlayEx on a form, a seek bar, pause and stop, and the
' control's events. Project > Components must list "ZelOggPlayerEx" (the
' x86 edition registered: VB6 is a 32-bit program). The timer moves the
' seek bar, which raises its Change event too: a flag keeps that from
' seeking back to the whole second.
Option Explicit

Private Moving As Boolean        ' the timer is moving the seek bar

Private Sub PlayButton_Click()
    ZelOggPlayEx1.PlayFile FileBox.Text
    SeekBar.Max = Int(ZelOggPlayEx1.Duration)   ' known when PlayFile returns
    Caption = ZelOggPlayEx1.Comment("TITLE")
    PositionTimer.Enabled = True
End Sub

Private Sub PauseButton_Click()
    If ZelOggPlayEx1.GetStatus() = "paused" Then
        ZelOggPlayEx1.ResumePlayback
    Else
        ZelOggPlayEx1.PausePlayback
    End If
End Sub

Private Sub StopButton_Click()
    ZelOggPlayEx1.CancelPlayback
    PositionTimer.Enabled = False
End Sub

Private Sub PositionTimer_Timer()
    Moving = True
    SeekBar.Value = Int(ZelOggPlayEx1.Position)
    Moving = False
    TimeLabel.Caption = Format(ZelOggPlayEx1.Position, "0.0") & " / " & Format(ZelOggPlayEx1.Duration, "0.0") & " s"
End Sub

Private Sub SeekBar_Change()     ' a drag, a click on the track, a key
    If Not Moving Then ZelOggPlayEx1.Position = SeekBar.Value
End Sub

Private Sub ZelOggPlayEx1_Status(Statusvalue As String)
    PauseButton.Caption = IIf(Statusvalue = "paused", "Resume", "Pause")
End Sub

Private Sub ZelOggPlayEx1_ErrorCode(ErrorNumber As Long, ErrorDescription As String)
    PositionTimer.Enabled = False
    If ErrorNumber <> 0 Then MsgBox ErrorDescription, vbExclamation, "Ogg player"
End Sub

Private Sub Form_Unload(Cancel As Integer)
    ZelOggPlayEx1.CancelPlayback
End Sub
