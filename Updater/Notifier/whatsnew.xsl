<?xml version="1.0" encoding="UTF-8"?>
<!--
  Turns a notification file into the page that notifier.exe shows:

    <alert baseurl="(Updater's folder)\"> what's-new document </alert>

  The what's-new document is published by a product team next to its update
  manifest:

    <whatsnew>
      <title>Inkwell 2.4 is installed</title>      (optional)
      <version>2.4.1</version>                     (optional)
      <summary>One short paragraph.</summary>      (optional)
      <change>One line per change</change>         (any number, in order)
      <more href="https://...">Release notes</more> (optional)
    </whatsnew>

  Anything else inside the alert (plain text, an unknown element) is shown as
  text, and an empty alert still tells the user that an update was installed.
  Links never navigate inside the window: "command:close" closes it and
  "command:external|<address>" opens the address in the user's browser. The
  "more" link is made only for an http or https address with a host.

  XSLT 1.0 only, and markup and styles that the browsers of Internet Explorer
  7 and 8 render; the window is about 300 x 325 pixels.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="UTF-8" indent="no"
              doctype-public="-//W3C//DTD HTML 4.01//EN"
              doctype-system="http://www.w3.org/TR/html4/strict.dtd"/>

  <xsl:template match="/">
    <xsl:apply-templates select="alert"/>
  </xsl:template>

  <xsl:template match="alert">
    <xsl:variable name="news" select="whatsnew[1]"/>
    <html>
      <head>
        <meta http-equiv="Content-Type" content="text/html; charset=UTF-8"/>
        <title>
          <xsl:call-template name="title">
            <xsl:with-param name="news" select="$news"/>
          </xsl:call-template>
        </title>
        <style type="text/css">
          html, body { margin: 0; padding: 0; height: 100%; overflow: hidden; }
          body { background: #ffffff; color: #1f2a36;
                 font: 12px/1.4 Tahoma, "Segoe UI", Verdana, Arial, sans-serif; }
          /* A frame around the whole borderless window; long news scroll inside it. */
          #frame { position: absolute; top: 0; left: 0; right: 0; bottom: 0;
                   border: 1px solid #1e5a8c; overflow: auto; }
          #head { background: #1e6ab0; color: #ffffff; padding: 8px 10px 9px 10px; }
          #close { float: right; color: #ffffff; font-weight: bold; text-decoration: none;
                   padding: 0 4px; margin-left: 6px; border: 1px solid #9cc3e6; }
          #close:hover { background: #174f85; }
          h1 { margin: 0; font-size: 15px; line-height: 1.25; font-weight: bold; }
          #version { margin-top: 2px; font-size: 11px; color: #d6e7f7; }
          #body { padding: 8px 12px 4px 12px; }
          p { margin: 0 0 8px 0; }
          ul { margin: 0 0 8px 0; padding: 0 0 0 18px; }
          li { margin: 0 0 4px 0; }
          #foot { padding: 4px 12px 10px 12px; }
          a { color: #1e6ab0; }
          .button { display: inline-block; padding: 3px 12px; background: #1e6ab0;
                    color: #ffffff; text-decoration: none; font-weight: bold; }
          .more { margin-right: 10px; }
        </style>
      </head>
      <body>
        <div id="frame">
        <div id="head">
          <a id="close" href="command:close" title="Close">X</a>
          <h1>
            <xsl:call-template name="title">
              <xsl:with-param name="news" select="$news"/>
            </xsl:call-template>
          </h1>
          <xsl:if test="normalize-space($news/version)">
            <div id="version">Version <xsl:value-of select="normalize-space($news/version)"/></div>
          </xsl:if>
        </div>
        <div id="body">
          <xsl:choose>
            <xsl:when test="$news">
              <xsl:apply-templates select="$news"/>
            </xsl:when>
            <xsl:when test="normalize-space(.)">
              <p><xsl:value-of select="normalize-space(.)"/></p>
            </xsl:when>
            <xsl:otherwise>
              <p>The new version has been installed and is ready to use.</p>
            </xsl:otherwise>
          </xsl:choose>
        </div>
        <div id="foot">
          <!-- The Notifier opens web addresses only: any other address (a
               program, a file, a share, another scheme) gets no link. -->
          <xsl:for-each select="$news/more[contains('|http|https|', concat('|', translate(substring-before(normalize-space(@href), '://'), 'HTPS', 'htps'), '|'))
                                           and string-length(substring-after(normalize-space(@href), '://')) &gt; 0
                                           and not(contains('/\', substring(substring-after(normalize-space(@href), '://'), 1, 1)))
                                           and not(contains(normalize-space(@href), ' '))][1]">
            <a class="more" href="{concat('command:external|', normalize-space(@href))}">
              <xsl:choose>
                <xsl:when test="normalize-space(.)"><xsl:value-of select="normalize-space(.)"/></xsl:when>
                <xsl:otherwise>What else is new</xsl:otherwise>
              </xsl:choose>
            </a>
          </xsl:for-each>
          <a class="button" href="command:close">Close</a>
        </div>
        </div>
      </body>
    </html>
  </xsl:template>

  <xsl:template name="title">
    <xsl:param name="news"/>
    <xsl:choose>
      <xsl:when test="normalize-space($news/title)"><xsl:value-of select="normalize-space($news/title)"/></xsl:when>
      <xsl:otherwise>Update installed</xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <xsl:template match="whatsnew">
    <xsl:if test="normalize-space(summary)">
      <p><xsl:value-of select="normalize-space(summary)"/></p>
    </xsl:if>
    <xsl:if test="change[normalize-space()]">
      <ul>
        <xsl:for-each select="change[normalize-space()]">
          <li><xsl:value-of select="normalize-space(.)"/></li>
        </xsl:for-each>
      </ul>
    </xsl:if>
    <xsl:if test="not(normalize-space(summary)) and not(change[normalize-space()])">
      <p>The new version has been installed and is ready to use.</p>
    </xsl:if>
  </xsl:template>
</xsl:stylesheet>
