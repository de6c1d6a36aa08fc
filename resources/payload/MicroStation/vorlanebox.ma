VorlaneBox plug-in placeholder
Host: MicroStation
This file stands in for the product build supplied by the product team.
