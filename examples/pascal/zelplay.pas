{ Plays an Ogg Vorbis file through the ZelOggPlay control and prints every
  event it raises, as a Delphi program would: the control created by its
  ProgID, its methods called late-bound, its events received by a small
  IDispatch sink advised on the control's connection point. The exit code
  is the last ErrorCode number (0 after a normal end).
    zelplay FILE.ogg
  It builds with Delphi (save it as zelplay.dpr, or open it as a project;
  from the command line dcc32 or dcc64 with -NSWinapi;System;System.Win)
  and with Free Pascal (fpc, which reads it in its Delphi mode). }
program zelplay;

{$APPTYPE CONSOLE}
{$IFDEF FPC}{$MODE DELPHI}{$H+}{$ENDIF}

uses
  Windows, ActiveX, ComObj, Variants, SysUtils;

const
  DIID_ZelOggPlayEvents: TGUID = '{CF80B672-DA3D-4D0C-B4F1-76B780773C4F}';
  { The event DISPIDs of the control's type library. }
  EventStatus = 1;
  EventFinished = 2;
  EventSettings = 3;
  EventProgress = 4;
  EventTimePosition = 5;
  EventErrorCode = 6;

type
  { Receives the control's events. Every parameter comes by reference, in
    reverse order in the argument array, as IDispatch passes them. }
  TEventSink = class(TInterfacedObject, IDispatch)
  public
    Ended: Boolean;
    LastError: LongInt;
    function GetTypeInfoCount(out count: LongInt): HResult; stdcall;
    function GetTypeInfo(Index, LocaleID: LongInt; out TypeInfo): HResult; stdcall;
    function GetIDsOfNames(const iid: TGUID; names: Pointer; NameCount, LocaleID: LongInt;
      DispIDs: Pointer): HResult; stdcall;
    function Invoke(DispID: LongInt; const iid: TGUID; LocaleID: LongInt; Flags: Word; var params;
      VarResult, ExcepInfo, ArgErr: Pointer): HResult; stdcall;
  end;

function TEventSink.GetTypeInfoCount(out count: LongInt): HResult; stdcall;
begin
  count := 0;
  Result := S_OK;
end;

function TEventSink.GetTypeInfo(Index, LocaleID: LongInt; out TypeInfo): HResult; stdcall;
begin
  Pointer(TypeInfo) := nil;
  Result := E_NOTIMPL;
end;

function TEventSink.GetIDsOfNames(const iid: TGUID; names: Pointer; NameCount, LocaleID: LongInt;
  DispIDs: Pointer): HResult; stdcall;
begin
  Result := E_NOTIMPL;
end;

function TEventSink.Invoke(DispID: LongInt; const iid: TGUID; LocaleID: LongInt; Flags: Word; var params;
  VarResult, ExcepInfo, ArgErr: Pointer): HResult; stdcall;
var
  p: TDispParams absolute params;

  function Arg(i: Integer): PVariantArg;
  begin
    Result := @p.rgvarg^[p.cArgs - 1 - i];
  end;

  function Num(i: Integer): LongInt;
  begin
    Result := Arg(i)^.plVal^;
  end;

  function Text(i: Integer): string;
  begin
    Result := UTF8Encode(WideString(Arg(i)^.pbstrVal^));
  end;

begin
  Result := S_OK;
  case DispID of
    EventStatus: WriteLn('Status ', Text(0));
    EventFinished: WriteLn('Finished');
    EventSettings: WriteLn('OggVorbisSettings rate ', Num(0), ', bitrate ', Num(1), ', channels ', Num(2),
        ', version ', Num(3), ', vendor "', Text(4), '"');
    EventProgress: WriteLn('Progress ', Num(0), ' ', Text(1));
    EventTimePosition: WriteLn('TimePosition ', Num(0), ' ', Text(1));
    EventErrorCode:
      begin
        LastError := Num(0);
        Ended := True;
        WriteLn('ErrorCode ', Num(0), ' "', Text(1), '"');
      end;
  else
    Result := DISP_E_MEMBERNOTFOUND;
  end;
  Flush(Output);
end;

var
  Player: OleVariant;
  Sink: TEventSink;
  SinkRef: IDispatch;
  Point: IConnectionPoint;
  Cookie: DWORD;
  Message: TMsg;
  Started: DWORD;
begin
  if ParamCount <> 1 then
  begin
    WriteLn(ErrOutput, 'usage: zelplay FILE.ogg');
    Halt(2);
  end;
  CoInitialize(nil);
  Player := CreateOleObject('ZelOggPlayer100.ZelOggPlay');
  Sink := TEventSink.Create;
  SinkRef := Sink;
  OleCheck((IUnknown(Player) as IConnectionPointContainer).FindConnectionPoint(DIID_ZelOggPlayEvents, Point));
  OleCheck(Point.Advise(SinkRef, Cookie));
  WriteLn('PlayFile ', ParamStr(1));
  Player.PlayFile(WideString(ParamStr(1)));
  { The events come from the control's timers: this thread pumps messages. }
  Started := GetTickCount;
  while not Sink.Ended and (GetTickCount - Started < 600000) do
  begin
    Sleep(20);
    while PeekMessage(Message, 0, 0, 0, PM_REMOVE) do
    begin
      TranslateMessage(Message);
      DispatchMessage(Message);
    end;
  end;
  Point.Unadvise(Cookie);
  Point := nil;
  Player := Unassigned;
  if Sink.Ended then ExitCode := Sink.LastError else ExitCode := 255;
  SinkRef := nil;
  CoUninitialize;
end.
