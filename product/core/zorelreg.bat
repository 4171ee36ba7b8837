@echo off
rem Registers the statistics service of the product installed in %1.
reg add "HKLM\SYSTEM\CurrentControlSet\Services\zorelstat" /v ImagePath /t REG_SZ /d "%~1\zorelstat.exe" /f /reg:64 >nul
exit /b %ERRORLEVEL%
